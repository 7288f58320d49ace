#include <QApplication>

#include "common/desktop/qt_desktop_services.h"
#include "mailer/app/wardpost_run.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    wardlet::QtMessageBoxes messages(wardlet::kMailerTitle);
    return wardpost::RunWardpost(arguments, messages);
}
