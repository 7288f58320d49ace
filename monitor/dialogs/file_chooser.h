#pragma once

#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace wardlet {

// "*.*" means every file where that filter comes from; Qt's own dialog (used on every desktop)
// would hide names without a dot, so its list is given every file under the same filter text.
// Called after the dialog's filters are set.
void ListEveryFile(QFileDialog& dialog);

// The open-file dialog of "Browse...", behind an interface so that tests choose the file.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // The chosen existing file as an 8-bit path; nullopt when the user cancelled.
    virtual std::optional<std::string> ChooseExistingFile(QWidget* parent) = 0;
};

// "Choose File..", one filter "All Files (*.*)", starting at the file system's root every time.
class QtFileChooser : public FileChooser {
public:
    std::optional<std::string> ChooseExistingFile(QWidget* parent) override;
};

}  // namespace wardlet
