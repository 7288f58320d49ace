#include "mailer/app/wardpost_run.h"

#include "common/folders.h"
#include "mailer/app/mailer_command_line.h"
#include "mailer/app/quorvmail_dlg.h"

namespace wardpost {

int RunWardpost(const QStringList& arguments, wardlet::MessageBoxes& messages) {
    std::vector<std::string> texts;
    for (const auto& argument : arguments)
        texts.push_back(argument.toLocal8Bit().toStdString());
    MailerCommandLine commandLine = ParseMailerCommandLine(JoinArguments(texts));
    if (!commandLine.fromWardlet) {
        messages.Show(
            "Wardpost is not a stand-alone program.\n\nWardlet program will execute this program "
            "automatically.",
            wardlet::MessageIcon::Information);
        return 2;
    }
    CQuorvmailApp app;
    app.dataFolder = wardlet::MailerDataFolder();
    app.testMode = commandLine.testMode;
    CQuorvmailDlg dialog(app);
    dialog.exec();
    return 0;
}

}  // namespace wardpost
