// The steps of a session, from Connect to Quit.
#include <arpa/inet.h>
#include <strings.h>

#include <cstring>

#include "mailer/smtp/base64.h"
#include "mailer/smtp/smtp_session.h"
#include "mailer/smtp/socket_io.h"

namespace wardlet::smtp {
namespace {

constexpr size_t kMaxHostLength = 255;
// A login that the owner keeps asking to retry after refusals ends after this many tries.
constexpr int kMaxLoginAttempts = 3;

enum class LoginPrompt { UserName, Password, Other };

// The LOGIN mechanism's prompts: "Username:" and "Password:", and the "User Name" and
// "Password" (often with a trailing NUL) of the mechanism's own description.
LoginPrompt ClassifyPrompt(std::string prompt) {
    while (!prompt.empty() && prompt.back() == '\0')
        prompt.pop_back();
    if (!prompt.empty() && prompt.back() == ':') prompt.pop_back();
    if (strcasecmp(prompt.c_str(), "Username") == 0 || strcasecmp(prompt.c_str(), "User Name") == 0)
        return LoginPrompt::UserName;
    if (strcasecmp(prompt.c_str(), "Password") == 0) return LoginPrompt::Password;
    return LoginPrompt::Other;
}

// Splits "host:port"; a bare host keeps `port`. False for a port that is not 1 to 65535.
bool SplitHostPort(const std::string& text, std::string& host, uint16_t& port) {
    size_t colon = text.rfind(':');
    host = text.substr(0, colon);
    if (colon == std::string::npos) return true;
    std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    unsigned long value = std::stoul(digits);
    if (value == 0 || value > 65535) return false;
    port = htons(static_cast<uint16_t>(value));
    return true;
}

// A reply without a code reads as 0, which would pass for success; report it as a failure.
int AsFailure(int code) {
    return code == 0 ? -1 : code;
}

bool AnyLineBreak(const CSmtpMessage& message) {
    if (HasLineBreak(message.sender.address) || HasLineBreak(message.recipient.address))
        return true;
    for (const auto& list : {&message.ccRecipients, &message.bccRecipients}) {
        for (const auto& who : *list) {
            if (HasLineBreak(who.address)) return true;
        }
    }
    return false;
}

}  // namespace

int CSmtp::Connect(const std::string& hostText) {
    Disconnect();
    lastCode_ = -1;
    std::string host;
    uint16_t target = port;
    if (hostText.size() > kMaxHostLength + 6 || !SplitHostPort(hostText, host, target) ||
        host.size() > kMaxHostLength || HasLineBreak(host))
        return 0;
    auto address = ResolveIPv4(host);
    if (!address) return 0;
    socket_ = ConnectTcp(*address, target, TimeoutMs());
    if (socket_ < 0) return 0;

    int code = Transact(std::nullopt);
    if (code != 220) {
        ReportError(code);
        Disconnect();
        return 0;
    }
    if (Hello() != 0) {
        Disconnect();
        return 0;
    }
    return 1;
}

int CSmtp::Hello() {
    std::string name = ComputerName();
    if (useEhlo && Transact("EHLO " + name + "\r\n") == 250) {
        extendedSmtp_ = 1;
    } else {
        extendedSmtp_ = 0;
        int code = Transact("HELO " + name + "\r\n");
        if (code != 250) {
            ReportError(code);
            return AsFailure(code);
        }
    }
    sessionOpen_ = 1;
    // A failed login shows up later as a refused MAIL FROM.
    if (extendedSmtp_ == 1) AuthLogin();
    return 0;
}

int CSmtp::AuthLogin() {
    for (int attempt = 0; attempt < kMaxLoginAttempts; ++attempt) {
        if (userName.empty()) return 0;
        // Base64 would carry a line break harmlessly, but such a value is a broken setting.
        if (HasLineBreak(userName) || HasLineBreak(password)) return -1;
        int code = Transact("AUTH LOGIN\r\n");
        if (code != 334) {
            ReportMessage(code);
            return AsFailure(code);
        }
        bool retry = false;
        while (code == 334) {
            CBase64 prompt;
            prompt.DecodeString(lastReply_.size() > 4 ? lastReply_.substr(4, 259).c_str() : "");
            auto kind = ClassifyPrompt(reinterpret_cast<const char*>(prompt.GetDecoded()));
            if (kind == LoginPrompt::Other) {
                ReportError(334);
                return 334;
            }
            CBase64 answer;
            answer.EncodeString(kind == LoginPrompt::UserName ? userName.c_str()
                                                              : password.c_str());
            code = Transact(std::string(answer.GetEncoded()) + "\r\n");
            if (code == 535) {
                int decision = ReportMessage(535);
                if (decision == 0) {
                    ReportError(535);
                    return 535;
                }
                if (decision == 1) {
                    retry = true;
                    break;
                }
                code = decision;
            }
        }
        if (retry) continue;
        if (code == 235) return 0;
        ReportError(code);
        return AsFailure(code);
    }
    ReportError(535);
    return 535;
}

int CSmtp::MailFrom(const std::string& address) {
    if (HasLineBreak(address)) return -1;
    std::string command = "MAIL FROM: <" + address + ">\r\n";
    int code = Transact(command);
    // The server wants a login: one attempt, then MAIL FROM once more. A login that fails or
    // cannot be made ends it, so a server that keeps answering 530 cannot keep us looping.
    if (code == 530 && !userName.empty()) {
        std::string refusal = lastReply_;
        if (AuthLogin() == 0)
            code = Transact(command);
        else
            lastReply_ = refusal;
    }
    if (code == 250) return 0;
    ReportError(code);
    return AsFailure(code);
}

int CSmtp::RcptTo(const std::string& address) {
    if (HasLineBreak(address)) return -1;
    int code = Transact("RCPT TO: <" + address + ">\r\n");
    if (code == 250 || code == 251) return 0;
    ReportMessage(code);
    return AsFailure(code);
}

int CSmtp::SendMessage(const CSmtpMessage& message) {
    if (message.sender.address.empty() ||
        (message.recipient.address.empty() && message.ccRecipients.empty()) ||
        AnyLineBreak(message))
        return -1;
    int code = MailFrom(message.sender.address);
    if (code != 0) return code;

    std::vector<const std::string*> recipients;
    if (!message.recipient.address.empty()) recipients.push_back(&message.recipient.address);
    for (const auto& who : message.ccRecipients)
        recipients.push_back(&who.address);
    for (const auto& who : message.bccRecipients)
        recipients.push_back(&who.address);
    int accepted = 0;
    int lastCode = 0;
    for (const std::string* address : recipients) {
        lastCode = RcptTo(*address);
        if (lastCode == 0) ++accepted;
        // The connection is gone: the remaining recipients would each wait the full time-out.
        if (lastCode == -1) break;
    }
    if (accepted == 0 || lastCode == -1) {
        ReportError(lastCode);
        return AsFailure(lastCode);
    }
    return Data(message);
}

int CSmtp::Data(const CSmtpMessage& message) {
    int code = Transact("DATA\r\n");
    if (code != 354) {
        ReportError(code);
        return AsFailure(code);
    }
    CSmtpMessage copy = message;  // composing records headers in the message
    std::string text;
    copy.Compose(text);
    text += "\r\n.\r\n";
    code = Transact(text);
    if (code == 250) return 0;
    ReportError(code);
    return AsFailure(code);
}

int CSmtp::Quit() {
    if (sessionOpen_ == 0) return 0;
    int code = Transact("QUIT\r\n");
    if (code != 221) ReportError(code);
    sessionOpen_ = 0;
    return code == 221 ? 0 : AsFailure(code);
}

int CSmtp::SendMail(const CSmtpAddress& from, const CSmtpAddress& to, std::string_view subject,
                    std::string_view body, const char* pathList) {
    CSmtpMessage message;
    message.sender = from;
    message.recipient = to;
    message.subject = subject;
    message.AddBody(CSmtpMessageBody(std::string(body), "text/plain", "iso-8859-1", kEncodingAuto));
    for (const char* path = pathList; path && *path; path += strlen(path) + 1)
        message.AddAttachment(CSmtpAttachment(path));
    return SendMessage(message);
}

int CSmtp::SendMail(const CSmtpAddress& from, const CSmtpAddress& to, std::string_view subject,
                    std::string_view body, const char* const* paths, int count) {
    CSmtpMessage message;
    message.sender = from;
    message.recipient = to;
    message.subject = subject;
    message.AddBody(CSmtpMessageBody(std::string(body), "text/plain", "iso-8859-1", kEncodingAuto));
    for (int i = count; i-- > 0;) {
        if (paths && paths[i]) message.AddAttachment(CSmtpAttachment(paths[i]));
    }
    return SendMessage(message);
}

}  // namespace wardlet::smtp
