#pragma once

#include <filesystem>

#include "common/mail_config.h"
#include "mailer/app/mail_log.h"

namespace wardpost {

// What the mailer holds for its whole run.
struct CQuorvmailApp {
    std::filesystem::path dataFolder;
    bool testMode = false;
    wardlet::MailConfig config{};
    int smtpTimeoutSeconds = 30;
};

enum class SendOutcome {
    ConfigUnreadable,  // nothing attempted; every file stays
    UnusableSetting,   // a setting that cannot be sent (for example a line break in an address)
    Delivered,         // the server took the message
    RefusedForGood,    // a permanent (5xx) refusal: the same send would be refused again
    TryAgainLater,     // no connection, time-out or a passing (4xx) refusal
};

// The mailer's one send: reads the settings and the queued notifications (or makes the test
// message), sends one message, logs every step, and settles its input files: once the server
// accepted the message the sent entries go; after any refusal or failure they are put back for
// the next run. Entries that did not fit the message stay queued. Test mode always removes the
// test settings after an attempt.
SendOutcome RunSendSequence(CQuorvmailApp& app, MailLogSink& log);

}  // namespace wardpost
