#include "common/mailer_launch.h"

namespace wardlet {

MailerStart StartMailerProgram(ProcessLauncher& launcher,
                               const std::filesystem::path& installFolder, MailerMode mode) {
    std::vector<std::string> arguments;
    if (mode == MailerMode::Test) arguments.push_back("/test");
    arguments.push_back("/from_wardlet");
    return launcher.StartDetached(installFolder / kMailerProgram, arguments) ? MailerStart::Started
                                                                             : MailerStart::Failed;
}

}  // namespace wardlet
