#include <QApplication>
#include <iostream>

#include "common/desktop/qt_desktop_services.h"
#include "mailer/app/wardpost_run.h"
#include "mailer/app/windowless_run.h"

int main(int argc, char** argv) {
    // Decided before the application object, which would need a display.
    std::vector<std::string> plain(argv + 1, argv + argc);
    if (wardpost::WantsNoWindow(plain)) return wardpost::RunWithoutWindow(plain, std::cerr);
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    wardlet::QtMessageBoxes messages(wardlet::kMailerTitle);
    return wardpost::RunWardpost(arguments, messages);
}
