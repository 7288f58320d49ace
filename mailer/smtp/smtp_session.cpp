// The steps of a session, from Connect to Quit.
#include <strings.h>

#include <cctype>
#include <cstring>

#include "mailer/smtp/base64.h"
#include "mailer/smtp/server_text.h"
#include "mailer/smtp/smtp_session.h"
#include "mailer/smtp/socket_io.h"

namespace wardlet::smtp {
namespace {

// A login that the owner keeps asking to retry after refusals ends after this many tries.
constexpr int kMaxLoginAttempts = 3;
constexpr char kPasswordHeldBack[] =
    "The server offers no encryption, so the password was not sent.";

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

// A reply without a code reads as 0, which would pass for success; report it as a failure.
int AsFailure(int code) {
    return code == 0 ? -1 : code;
}

// Every envelope address is a plain mailbox; an empty main recipient is allowed (the copies
// then carry the message).
bool AddressesUsable(const CSmtpMessage& message) {
    if (!IsPlainAddress(message.sender.address)) return false;
    if (!message.recipient.address.empty() && !IsPlainAddress(message.recipient.address))
        return false;
    for (const auto& list : {&message.ccRecipients, &message.bccRecipients}) {
        for (const auto& who : *list) {
            if (!IsPlainAddress(who.address)) return false;
        }
    }
    return true;
}

std::string UpperCase(std::string text) {
    for (char& c : text)
        c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string Base64Of(std::string_view bytes) {
    CBase64 base64;
    base64.Encode(reinterpret_cast<const uint8_t*>(bytes.data()),
                  static_cast<uint32_t>(bytes.size()));
    return std::string(base64.GetEncoded(), base64.encodedLength());
}

}  // namespace

SmtpExtensions ParseExtensions(const std::string& ehloReply) {
    SmtpExtensions offered;
    size_t start = ehloReply.find('\n');  // the first line greets; the offers follow
    while (start != std::string::npos) {
        size_t end = ehloReply.find('\n', start + 1);
        std::string line =
            ehloReply.substr(start + 1, end == std::string::npos ? end : end - start - 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string keyword = UpperCase(line.size() > 4 ? line.substr(4) : "");
        if (keyword == "STARTTLS") offered.startTls = true;
        if (keyword == "8BITMIME") offered.eightBitMime = true;
        if (keyword.rfind("AUTH", 0) == 0 && keyword.size() > 4 &&
            (keyword[4] == ' ' || keyword[4] == '=')) {
            std::string mechanisms = " " + keyword.substr(5) + " ";
            if (mechanisms.find(" LOGIN ") != std::string::npos) offered.authLogin = true;
            if (mechanisms.find(" PLAIN ") != std::string::npos) offered.authPlain = true;
        }
        start = end;
    }
    return offered;
}

int CSmtp::Connect(const std::string& hostText) {
    Disconnect();
    lastCode_ = -1;
    auto server = ParseServerText(hostText, port);
    if (!server) return 0;
    auto address = ResolveIPv4(server->host);
    if (!address) return 0;
    if (!channel_.Connect(*address, server->port, TimeoutMs())) return 0;
    tlsHost_ = server->host;
    passwordInClear_ = server->passwordInClear;
    passwordHeldBack_ = false;
    if (server->implicitTls) {
        std::string error;
        if (channel_.StartTls(tlsHost_, TimeoutMs(), error) != TlsResult::Secured) {
            ReportTlsFailure(error);
            Disconnect();
            return 0;
        }
    }

    int code = Transact(std::nullopt);
    if (code != 220) {
        ReportError(code);
        Disconnect();
        return 0;
    }
    if (Hello() != 0) {
        // The refusal, not the QUIT that follows it, is what the owner gets to see.
        int refusal = lastCode_;
        std::string reply = lastReply_;
        Disconnect();
        lastCode_ = refusal;
        lastReply_ = reply;
        return 0;
    }
    return 1;
}

int CSmtp::ReportTlsFailure(const std::string& error) {
    lastReply_ = "Cannot make a secure (TLS) connection to " + tlsHost_ + ": " + error;
    lastCode_ = -1;
    ReportError(-1);  // the connection cannot be used any more: no QUIT
    return -1;
}

int CSmtp::Hello() {
    std::string name = ComputerName();
    offered_ = {};
    if (useEhlo && Transact("EHLO " + name + "\r\n") == 250) {
        extendedSmtp_ = 1;
        offered_ = ParseExtensions(lastReply_);
    } else {
        extendedSmtp_ = 0;
        int code = Transact("HELO " + name + "\r\n");
        if (code != 250) {
            ReportError(code);
            return AsFailure(code);
        }
    }
    sessionOpen_ = 1;
    if (extendedSmtp_ == 1 && offered_.startTls && !channel_.secure()) {
        int code = StartTls();
        if (code != 0) return code;
    }
    // A failed login shows up later as a refused MAIL FROM.
    if (extendedSmtp_ == 1) AuthLogin();
    return 0;
}

int CSmtp::StartTls() {
    int code = Transact("STARTTLS\r\n");
    if (code != 220) {
        // Without TLS the credentials would go out readable to anyone on the way.
        if (!userName.empty() && !passwordInClear_) {
            ReportError(code);
            return AsFailure(code);
        }
        return 0;
    }
    std::string error;
    if (channel_.StartTls(tlsHost_, TimeoutMs(), error) != TlsResult::Secured)
        return ReportTlsFailure(error);
    // What the server said before the handshake may have been tampered with: ask again.
    offered_ = {};
    code = Transact("EHLO " + ComputerName() + "\r\n");
    if (code != 250) {
        ReportError(code);
        return AsFailure(code);
    }
    offered_ = ParseExtensions(lastReply_);
    return 0;
}

int CSmtp::AuthLogin() {
    if (userName.empty()) return 0;
    if (!PasswordMayGo()) return -1;
    if (offered_.authPlain && !offered_.authLogin) return AuthPlain();
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

bool CSmtp::PasswordMayGo() {
    if (channel_.secure() || passwordInClear_) return true;
    if (!passwordHeldBack_) {
        passwordHeldBack_ = true;
        std::string reply = lastReply_;
        lastReply_ = kPasswordHeldBack;
        ReportMessage(-1);
        lastReply_ = reply;
    }
    return false;
}

int CSmtp::AuthPlain() {
    if (!userName.empty() && !PasswordMayGo()) return -1;
    for (int attempt = 0; attempt < kMaxLoginAttempts; ++attempt) {
        if (userName.empty()) return 0;
        if (HasLineBreak(userName) || HasLineBreak(password)) return -1;
        std::string token = Base64Of(std::string(1, '\0') + userName + '\0' + password);
        int code = Transact("AUTH PLAIN " + token + "\r\n");
        // A server that wants the credentials after an empty challenge of its own.
        if (code == 334) code = Transact(token + "\r\n");
        if (code == 535) {
            int decision = ReportMessage(535);
            if (decision == 0) {
                ReportError(535);
                return 535;
            }
            if (decision == 1) continue;
            code = decision;
        }
        if (code == 235) return 0;
        ReportError(code);
        return AsFailure(code);
    }
    ReportError(535);
    return 535;
}

int CSmtp::MailFrom(const std::string& address, std::string_view parameters) {
    if (HasLineBreak(address) || HasLineBreak(parameters)) return -1;
    std::string command = "MAIL FROM: <" + address + ">" + std::string(parameters) + "\r\n";
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
        !AddressesUsable(message))
        return -1;
    CSmtpMessage copy = message;  // composing records headers in the message
    std::string text;
    copy.Compose(text);
    std::string parameters;
    if (HasEightBitBytes(text)) {
        if (offered_.eightBitMime) {
            parameters = " BODY=8BITMIME";
        } else {
            copy.eightBitAllowed = false;
            copy.Compose(text);
        }
    }
    int code = MailFrom(message.sender.address, parameters);
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
    return SendData(text);
}

int CSmtp::Data(const CSmtpMessage& message) {
    CSmtpMessage copy = message;  // composing records headers in the message
    std::string text;
    copy.Compose(text);
    return SendData(text);
}

int CSmtp::SendData(const std::string& text) {
    int code = Transact("DATA\r\n");
    if (code != 354) {
        ReportError(code);
        return AsFailure(code);
    }
    code = Transact(text + "\r\n.\r\n");
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
    message.AddBody(
        CSmtpMessageBody(std::string(body), "text/plain", TextCharset(body), kEncodingAuto));
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
    message.AddBody(
        CSmtpMessageBody(std::string(body), "text/plain", TextCharset(body), kEncodingAuto));
    for (int i = count; i-- > 0;) {
        if (paths && paths[i]) message.AddAttachment(CSmtpAttachment(paths[i]));
    }
    return SendMessage(message);
}

}  // namespace wardlet::smtp
