#pragma once

#include <string>
#include <vector>

#include "mailer/smtp/smtp_session.h"

namespace wardlet::test {

// A session that writes its notifications as the mailer's log does and keeps every reply.
class RecordingSmtp : public smtp::CSmtp {
public:
    ~RecordingSmtp() override { Disconnect(); }  // so a failing QUIT is still recorded
    int OnMessage(int, const std::string& reply) override {
        log.push_back("SMTP message: " + reply);
        return messageResult;
    }
    int OnError(int, const std::string& reply) override {
        log.push_back("SMTP error: " + reply);
        return 0;
    }
    void OnReply(std::optional<std::string_view>, int code, const std::string& reply) override {
        replies.push_back(std::to_string(code) + "|" + reply);
    }
    int OnSendProgress(std::string_view, size_t sent, size_t total) override {
        progress.push_back(sent);
        progressTotal = total;
        return sent >= abortAfter ? 0 : 1;
    }

    std::vector<std::string> log;
    std::vector<std::string> replies;
    std::vector<size_t> progress;
    size_t progressTotal = 0;
    size_t abortAfter = static_cast<size_t>(-1);
    int messageResult = 0;
};

inline smtp::CSmtpMessage SimpleMessage(const std::string& body = "Hello\r\n") {
    smtp::CSmtpMessage m;
    m.sender = smtp::CSmtpAddress("me@example.org", "Wardlet");
    m.recipient = smtp::CSmtpAddress("you@example.org", "you@example.org");
    m.subject = "Wardlet Email Notification";
    // A fixed id and moment, so that two of these compose to the same bytes even when a second
    // ticks over between them.
    m.messageId = "test.1@example.org";
    m.timestamp = smtp::SmtpTimestamp{2012, 1, 4, 5, 9, 3, 7, 0};
    m.utcOffset = 0;
    m.AddBody(smtp::CSmtpMessageBody(body, "text/plain", "iso-8859-1", smtp::kEncodingAuto));
    return m;
}

}  // namespace wardlet::test
