#include "common/desktop/qt_desktop_services.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

namespace wardlet {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Exclamation:
            return QMessageBox::Warning;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::Stop:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QString FromPath(const std::filesystem::path& path) {
    return QString::fromLocal8Bit(path.native().c_str());
}

}  // namespace

MessageAnswer QtMessageBoxes::Show(std::string_view text, MessageIcon icon,
                                   MessageButtons buttons) {
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = QApplication::activeWindow();
    QMessageBox box(ToQtIcon(icon), caption_, FromLocal8Bit(text), QMessageBox::NoButton, owner);
    box.setObjectName("messageBox");
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    int result = box.exec();
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    return result == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

void QtDocumentOpener::OpenUrl(std::string_view url) {
    QDesktopServices::openUrl(QUrl(FromLocal8Bit(url), QUrl::TolerantMode));
}

void QtDocumentOpener::OpenFile(const std::filesystem::path& file) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(FromPath(file)));
}

bool QtProcessLauncher::StartDetached(const std::filesystem::path& program,
                                      const std::vector<std::string>& arguments) {
    QStringList qtArguments;
    for (const auto& argument : arguments)
        qtArguments << FromLocal8Bit(argument);
    return QProcess::startDetached(FromPath(program), qtArguments, QDir::currentPath());
}

}  // namespace wardlet
