#include "mailer/app/mailer_smtp.h"

namespace wardpost {

std::string LogLine(const std::string& prefix, const std::string& text) {
    constexpr size_t kLogLineMax = 1023;
    std::string line = prefix + text;
    if (line.size() > kLogLineMax) line.resize(kLogLineMax);
    return line;
}

int MailerSmtp::OnMessage(int, const std::string& reply) {
    log_.MailLog(LogLine("SMTP message: ", reply));
    return 0;
}

int MailerSmtp::OnError(int, const std::string& reply) {
    log_.MailLog(LogLine("SMTP error: ", reply));
    return 0;
}

}  // namespace wardpost
