#pragma once

#include <QDialog>

#include <atomic>
#include <filesystem>
#include <thread>

#include "common/desktop_services.h"
#include "monitor/app/properties_form.h"
#include "monitor/dialogs/file_chooser.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/engine/filter_trial.h"
#include "monitor/model/document_table.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTextEdit;

namespace wardlet {

// What the properties dialog works with; the caller keeps all of it alive while it runs.
struct PropertiesContext {
    const DocumentTable& table;
    std::filesystem::path dataFolder;
    MessageBoxes& messages;
    DocumentOpener& opener;
    FileChooser& files;
    TransferLimits limits = TransferLimits::FromEnvironment();
    FiltersLoad filters{};  // of the selected document (Edit and Copy)
};

// Adds, copies or edits one document. exec() returns 1 after a valid Apply, with stagedRecord()
// filled for the caller to store, else 0. It never writes to the table or to disk itself.
class DocumentPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    DocumentPropertiesDialog(const PropertiesContext& context, PropertiesMode mode, size_t slot,
                             QWidget* parent = nullptr);
    ~DocumentPropertiesDialog() override;

    const DocumentRecord& stagedRecord() const { return staged_; }
    // The filters Apply staged; nullopt leaves the document's as they are (a damaged filter file
    // the user did not replace).
    const std::optional<DocumentFilters>& stagedFilters() const { return stagedFilters_; }
    // True while an FTP connection test runs.
    bool ftpTestRunning() const { return ftpThread_.joinable(); }
    // True while "Try" (or Apply's look at the live page) fetches the page.
    bool trialRunning() const { return trialThread_.joinable(); }

    void done(int result) override;

private:
    void BuildControls();
    void ShowState();
    void ShowTexts(const PropertiesTexts& texts);
    PropertiesTexts Texts() const;
    void Apply();
    void Action();
    bool AccountGiven();
    void OpenWeb();
    void StartFtpTest();
    void ShowFtpStep(FtpProbeStep step, FtpStepState state, bool tls, const std::string& reason);
    void FtpTestEnded();
    void StopFtpTest();
    void Refuse(std::string_view message);
    QWidget* BuildFilters();
    FiltersTexts FilterTexts() const;
    void ShowFilterTexts(const FiltersTexts& texts);
    // Fetches the page off this thread and shows what would be compared; with `forApply`, Apply
    // then ends unless the filters leave nothing of the page.
    void StartTrial(bool forApply);
    void TrialEnded(const FilterTrial& trial, bool forApply);
    void ShowTrial(const FilterTrial& trial);
    void StopTrial();

    PropertiesContext context_;
    PropertiesMode mode_;
    size_t slot_;
    PropertiesFormState state_;
    DocumentRecord staged_{};

    std::thread ftpThread_;
    std::atomic<bool> ftpStop_{false};
    std::optional<DocumentFilters> stagedFilters_;
    DocumentFilters openingFilters_;
    bool openingDamaged_ = false;
    std::string openingLocation_;
    std::thread trialThread_;
    std::atomic<bool> trialStop_{false};

    QRadioButton* typeRadios_[4] = {};
    QRadioButton* methodRadios_[3] = {};
    QLineEdit* nameEdit_ = nullptr;
    QLabel* locationLabel_ = nullptr;
    QLineEdit* locationEdit_ = nullptr;
    QPushButton* actionButton_ = nullptr;
    QCheckBox* accountCheck_ = nullptr;
    QLabel* userNameLabel_ = nullptr;
    QLineEdit* userNameEdit_ = nullptr;
    QLabel* passwordLabel_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLineEdit* countEdit_ = nullptr;
    QLineEdit* middleStartEdit_ = nullptr;
    QLabel* andLabel_ = nullptr;
    QLineEdit* middleEndEdit_ = nullptr;
    QLabel* infoText_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QComboBox* selectorKind_ = nullptr;
    QLineEdit* selectorEdit_ = nullptr;
    QCheckBox* textOnlyCheck_ = nullptr;
    QPlainTextEdit* ignoreEdit_ = nullptr;
    QLineEdit* triggerEdit_ = nullptr;
    QCheckBox* triggerRemovedCheck_ = nullptr;
    QPushButton* tryButton_ = nullptr;
    QLabel* trialHeading_ = nullptr;
    QTextEdit* trialText_ = nullptr;
};

}  // namespace wardlet
