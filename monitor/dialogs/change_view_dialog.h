#pragma once

#include <QDialog>

#include <filesystem>
#include <string>

#include "common/desktop_services.h"
#include "monitor/changes/change_view.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace wardlet {

// "Changes - NAME": the document's versions, newest first, and what changed between the chosen
// one and the one before it, in the desktop's fixed font. "Save As..." copies the chosen version
// to a file; "Close" and Esc end it.
class ChangeViewDialog : public QDialog {
    Q_OBJECT
public:
    ChangeViewDialog(const std::string& name, ChangeView view, MessageBoxes& messages,
                     std::filesystem::path saveFolder, QWidget* parent = nullptr);

private:
    void ShowChosen();
    void SaveChosen();
    size_t Chosen() const;

    ChangeView view_;
    MessageBoxes& messages_;
    std::filesystem::path saveFolder_;
    QListWidget* versions_;
    QLabel* notice_;
    QTextEdit* text_;
    QCheckBox* source_;
    QCheckBox* wholePage_;  // only for a filtered document
    QPushButton* saveAs_;
};

// Runs the dialog modally over `parent`.
void RunChangeView(QWidget* parent, const std::string& name, ChangeView view,
                   MessageBoxes& messages, const std::filesystem::path& saveFolder);

}  // namespace wardlet
