#pragma once

#include <QString>

#include "common/desktop_services.h"

namespace wardlet {

// Message boxes over QMessageBox, captioned with the program's title and owned by the window that
// is active when one is shown (a dialog, when a dialog asks).
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(const char* caption) : caption_(QString::fromLatin1(caption)) {}
    MessageAnswer Show(std::string_view text, MessageIcon icon,
                       MessageButtons buttons = MessageButtons::Ok) override;

private:
    QString caption_;
};

// The desktop's default handler, through QDesktopServices.
class QtDocumentOpener : public DocumentOpener {
public:
    void OpenUrl(std::string_view url) override;
    void OpenFile(const std::filesystem::path& file) override;
};

// QProcess::startDetached in the current folder.
class QtProcessLauncher : public ProcessLauncher {
public:
    [[nodiscard]] bool StartDetached(const std::filesystem::path& program,
                                     const std::vector<std::string>& arguments) override;
};

// 8-bit texts of the core in the locale's encoding.
inline QString FromLocal8Bit(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace wardlet
