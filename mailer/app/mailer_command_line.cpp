#include "mailer/app/mailer_command_line.h"

namespace wardpost {

std::string JoinArguments(const std::vector<std::string>& arguments) {
    std::string text;
    for (const auto& argument : arguments)
        text += " " + argument;
    return text;
}

MailerCommandLine ParseMailerCommandLine(std::string_view commandLine) {
    MailerCommandLine parsed;
    parsed.fromWardlet = commandLine.find("/from_wardlet") != std::string_view::npos;
    parsed.testMode = commandLine.find("/test") != std::string_view::npos;
    return parsed;
}

}  // namespace wardpost
