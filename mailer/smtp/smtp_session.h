#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mailer/smtp/message_parts.h"
#include "mailer/smtp/smtp_channel.h"
#include "mailer/smtp/smtp_message.h"

namespace wardlet::smtp {

// What the server's EHLO reply offers, as far as the session uses it.
struct SmtpExtensions {
    bool startTls = false;
    bool eightBitMime = false;
    bool authLogin = false;
    bool authPlain = false;
};
SmtpExtensions ParseExtensions(const std::string& ehloReply);

// An SMTP client session over TCP (IPv4): greeting, EHLO or HELO, STARTTLS when offered, AUTH
// LOGIN (or PLAIN), MAIL FROM, RCPT TO, DATA and QUIT; or all of it inside TLS from the start
// (implicit TLS). Steps return 0 on success, the server's reply code on a refusal, or -1 for a
// transport failure, a failed TLS handshake or a time-out; refusals are reported through the
// virtual notifications. Credentials never go out unencrypted, unless the server text says
// "smtp+insecure://".
class CSmtp {
public:
    CSmtp();
    CSmtp(const CSmtp&) = delete;
    CSmtp& operator=(const CSmtp&) = delete;

    virtual ~CSmtp();
    // A refusal the owner could act on. For refused credentials the result decides: 0 gives up,
    // 1 tries the login again (with whatever userName/password hold then).
    virtual int OnMessage(int code, const std::string& reply);
    // A failure that ends the step.
    virtual int OnError(int code, const std::string& reply);
    // Every reply received; `command` is empty for the greeting.
    virtual void OnReply(std::optional<std::string_view> command, int code,
                         const std::string& reply);
    // After each 1024-byte piece of a longer command; 0 aborts the send.
    virtual int OnSendProgress(std::string_view command, size_t sent, size_t total);

    // `host` is a server text of ParseServerText: a dotted IPv4 address or a host name, with
    // ":port" and "smtps://", "smtp://" or "smtp+insecure://" in front as wanted.
    // 1 when connected, greeted and introduced; 0 otherwise (closed again).
    int Connect(const std::string& host);
    // 0 when accepted; -1 when the message has no sender, no recipient, or an address that is
    // not a plain mailbox (nothing is sent then); else the code of the failing step. An 8-bit
    // message goes with BODY=8BITMIME, or as quoted-printable to a server without 8BITMIME.
    int SendMessage(const CSmtpMessage& message);
    void Disconnect();

    // Builds a one-body message and sends it on the connected session. `pathList` holds paths
    // each ended by a zero byte, the list ended by an empty path.
    int SendMail(const CSmtpAddress& from, const CSmtpAddress& to, std::string_view subject,
                 std::string_view body, const char* pathList = nullptr);
    // The same with an array of `count` paths, attached from the last to the first.
    int SendMail(const CSmtpAddress& from, const CSmtpAddress& to, std::string_view subject,
                 std::string_view body, const char* const* paths, int count);

    int Hello();
    // STARTTLS, the handshake and EHLO again; 0 also when the server refuses STARTTLS and
    // there are no credentials to protect, or their sending in clear was asked for (the session
    // then goes on in plain text).
    int StartTls();
    // AUTH LOGIN, or AUTH PLAIN when the server offers PLAIN and not LOGIN. Without TLS nothing
    // is sent (see PasswordMayGo) and the result is -1.
    int AuthLogin();
    int AuthPlain();
    // `parameters` follow the address, e.g. " BODY=8BITMIME".
    int MailFrom(const std::string& address, std::string_view parameters = {});
    int RcptTo(const std::string& address);
    int Data(const CSmtpMessage& message);
    int Quit();
    // One command and its reply: the reply code, or -1 (send failed, closed, time-out).
    int Transact(std::optional<std::string_view> command);

    int useEhlo = 1;
    int timeoutSeconds = 30;
    uint16_t port;         // network byte order
    std::string userName;  // empty: no login
    std::string password;

    const std::string& lastReply() const { return lastReply_; }
    // The result of the latest exchange (-1 when none was possible, e.g. no connection).
    int lastCode() const { return lastCode_; }
    bool sessionOpen() const { return sessionOpen_ != 0; }
    bool extendedSmtp() const { return extendedSmtp_ != 0; }
    bool connected() const { return channel_.open(); }
    bool secure() const { return channel_.secure(); }
    const SmtpExtensions& offered() const { return offered_; }

protected:
    int ReportError(int code);
    int ReportMessage(int code);

private:
    int SendData(const std::string& text);
    // Whether credentials may be sent now: over TLS, or in clear when the server text asked for
    // it. The first refusal of a session is reported through OnMessage.
    bool PasswordMayGo();
    // Ends the attempt after a failed handshake: the reason becomes the reply text.
    int ReportTlsFailure(const std::string& error);
    bool SendCommand(std::string_view command);
    bool ReadReply(std::string& reply);
    void DiscardPendingInput();
    int TimeoutMs() const;

    SmtpChannel channel_;
    std::string tlsHost_;  // the name the server's certificate must carry
    bool passwordInClear_ = false;
    bool passwordHeldBack_ = false;  // reported once per session
    SmtpExtensions offered_;
    std::string lastReply_;
    int sessionOpen_ = 0;
    int extendedSmtp_ = 0;
    int lastCode_ = -1;
};

// True when the text holds a CR or LF, which would end an SMTP command line early.
bool HasLineBreak(std::string_view text);
// A mailbox as the envelope takes it: something "@" something, without spaces, control
// characters or angle brackets.
bool IsPlainAddress(std::string_view address);

}  // namespace wardlet::smtp
