#include <QApplication>

#include "mailer/app/wardpost_run.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    return wardpost::RunWardpost(arguments);
}
