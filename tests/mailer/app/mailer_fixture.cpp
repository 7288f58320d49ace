#include "mailer_fixture.h"

#include <cctype>
#include <stdexcept>

#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "loopback_socket.h"

namespace wardlet::test {

MailConfig MakeConfig(const MailSettings& s) {
    MailConfig c{};
    c.sendOnChange = 1;
    c.sendOnUnreachable = 1;
    c.requiresAuth = s.requiresAuth;
    SetFieldText(c.smtpServer, s.server);
    SetFieldText(c.toAddress, s.to);
    SetFieldText(c.ccAddress, s.cc);
    SetFieldText(c.bccAddress, s.bcc);
    SetFieldText(c.smtpUserName, s.user);
    SetFieldText(c.smtpPassword, s.password);
    return c;
}

void WriteSettings(const std::filesystem::path& folder, const MailSettings& settings,
                   bool testFile) {
    auto file = folder / (testFile ? kMailConfigTestFile : kMailConfigFile);
    if (!WriteMailConfig(file, MakeConfig(settings)))
        throw std::runtime_error("cannot write " + file.string());
}

void QueueEntry(const std::filesystem::path& folder, const std::string& name) {
    MailSettings any;
    if (!AppendMailEntry(folder, MakeConfig(any), MailEvent::Changed, name,
                         "https://example.org/" + name))
        throw std::runtime_error("cannot queue " + name);
}

std::string ClosedServer() {
    return "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
}

bool MatchesDoneLine(const std::string& line) {
    // '9' stands for any digit.
    const std::string mask = "Done - 9999/99/99 [99:99:99]";
    if (line.size() != mask.size()) return false;
    for (size_t i = 0; i < mask.size(); ++i) {
        bool ok =
            mask[i] == '9' ? isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == mask[i];
        if (!ok) return false;
    }
    return true;
}

}  // namespace wardlet::test
