#pragma once

#include <string>

namespace wardpost {

// Where the mailer's log lines go: the log window's list, or a test's record.
class MailLogSink {
public:
    virtual ~MailLogSink() = default;
    virtual void MailLog(const std::string& line) = 0;
};

}  // namespace wardpost
