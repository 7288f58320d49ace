#pragma once

#include <memory>
#include <string>
#include <vector>

#include "peer_process.h"

namespace wardlet::test {

// A real SMTP server (aiosmtpd, smtp_peer.py) on loopback with AUTH LOGIN.
class SmtpPeer {
public:
    // Options of smtp_peer.py, e.g. {"--user", "ann", "--password", "pw", "--require-auth"}.
    explicit SmtpPeer(std::vector<std::string> options = {});
    std::string host() const { return "127.0.0.1:" + std::to_string(process_->port()); }
    // Event lines up to and including the first one starting with `prefix` (all lines that came
    // within the time-out when none does).
    std::vector<std::string> EventsUntil(const std::string& prefix, int timeoutMs = 10000);

private:
    std::unique_ptr<PeerProcess> process_;
};

struct ReceivedMail {
    std::string from;
    std::vector<std::string> recipients;
    std::string content;  // as the server stored it, dot-stuffing undone
    std::string options;  // MAIL FROM parameters joined by ",", "-" for none
};
// Splits a "MESSAGE <from> <to,...> <base64>" event line.
ReceivedMail ParseMessageEvent(const std::string& line);
// The verbs of the "CMD" events, in order, e.g. {"EHLO", "AUTH", "MAIL", ...}.
std::vector<std::string> Commands(const std::vector<std::string>& events);
// The same with how each came, e.g. {"EHLO plain", "STARTTLS plain", "EHLO tls", ...}.
std::vector<std::string> CommandsAndTransport(const std::vector<std::string>& events);
// The first event starting with `prefix`, empty when there is none.
std::string FindEvent(const std::vector<std::string>& events, const std::string& prefix);

}  // namespace wardlet::test
