#pragma once

#include "mailer/app/mail_log.h"
#include "mailer/smtp/smtp_session.h"

namespace wardpost {

// The mailer's session: refusals and failures become log lines, and a refused login is not
// retried.
class MailerSmtp : public wardlet::smtp::CSmtp {
public:
    explicit MailerSmtp(MailLogSink& log) : log_(log) {}
    ~MailerSmtp() override { Disconnect(); }  // while the overrides below still log
    int OnMessage(int code, const std::string& reply) override;
    int OnError(int code, const std::string& reply) override;

private:
    MailLogSink& log_;
};

// "<prefix><text>" cut to the 1023 characters a log line holds.
std::string LogLine(const std::string& prefix, const std::string& text);

}  // namespace wardpost
