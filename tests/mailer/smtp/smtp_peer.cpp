#include "smtp_peer.h"

#include <sstream>

#include "mail_oracle.h"

namespace wardlet::test {

SmtpPeer::SmtpPeer(std::vector<std::string> options) {
    std::vector<std::string> argv{Python(), TestFile("mailer/smtp/smtp_peer.py")};
    argv.insert(argv.end(), options.begin(), options.end());
    process_ = std::make_unique<PeerProcess>(argv);
}

std::vector<std::string> SmtpPeer::EventsUntil(const std::string& prefix, int timeoutMs) {
    std::vector<std::string> events;
    for (;;) {
        std::string line = process_->readLine(timeoutMs);
        if (line.empty()) return events;
        events.push_back(line);
        if (line.rfind(prefix, 0) == 0) return events;
    }
}

ReceivedMail ParseMessageEvent(const std::string& line) {
    std::istringstream fields(line);
    std::string word, to, content;
    ReceivedMail mail;
    fields >> word >> mail.from >> to >> content >> mail.options;
    std::istringstream list(to);
    for (std::string one; std::getline(list, one, ',');)
        mail.recipients.push_back(one);
    mail.content = RunOracle("b64", content);
    return mail;
}

std::vector<std::string> CommandsAndTransport(const std::vector<std::string>& events) {
    std::vector<std::string> commands;
    for (const auto& e : events) {
        if (e.rfind("CMD ", 0) == 0) commands.push_back(e.substr(4));
    }
    return commands;
}

std::vector<std::string> Commands(const std::vector<std::string>& events) {
    std::vector<std::string> verbs = CommandsAndTransport(events);
    for (auto& verb : verbs)
        verb = verb.substr(0, verb.find(' '));
    return verbs;
}

std::string FindEvent(const std::vector<std::string>& events, const std::string& prefix) {
    for (const auto& e : events) {
        if (e.rfind(prefix, 0) == 0) return e;
    }
    return {};
}

}  // namespace wardlet::test
