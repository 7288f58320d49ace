#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace wardpost {

struct MailerCommandLine {
    bool fromWardlet = false;  // "/from_wardlet" anywhere: started by the monitor
    bool testMode = false;     // "/test" anywhere as well: send the test message
};

// The arguments after the program name as one text, each preceded by a space, as the monitor
// passes them (" /test /from_wardlet").
std::string JoinArguments(const std::vector<std::string>& arguments);

// Case-sensitive substring search, as the monitor's command line is matched.
MailerCommandLine ParseMailerCommandLine(std::string_view commandLine);

}  // namespace wardpost
