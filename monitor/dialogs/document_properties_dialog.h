#pragma once

#include <QDialog>

#include <atomic>
#include <filesystem>
#include <thread>

#include "common/desktop_services.h"
#include "monitor/app/properties_form.h"
#include "monitor/dialogs/file_chooser.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/model/document_table.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace wardlet {

// What the properties dialog works with; the caller keeps all of it alive while it runs.
struct PropertiesContext {
    const DocumentTable& table;
    std::filesystem::path dataFolder;
    MessageBoxes& messages;
    DocumentOpener& opener;
    FileChooser& files;
    TransferLimits limits = TransferLimits::FromEnvironment();
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
    // True while an FTP connection test runs.
    bool ftpTestRunning() const { return ftpThread_.joinable(); }

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

    PropertiesContext context_;
    PropertiesMode mode_;
    size_t slot_;
    PropertiesFormState state_;
    DocumentRecord staged_{};

    std::thread ftpThread_;
    std::atomic<bool> ftpStop_{false};

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
};

}  // namespace wardlet
