#include "mailer/app/send_sequence.h"

#include <optional>
#include <string>

#include "common/debug_log.h"
#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "common/time_stamp.h"
#include "mailer/app/mailer_smtp.h"
#include "mailer/smtp/smtp_message.h"

namespace wardpost {
namespace {

using wardlet::FieldText;
using wardlet::smtp::CSmtpAddress;
using wardlet::smtp::CSmtpMessage;
using wardlet::smtp::CSmtpMessageBody;

constexpr char kTestBody[] = "This is a test message from Wardlet program.\r\n";

bool ReadConfig(CQuorvmailApp& app, MailLogSink& log) {
    auto file =
        app.dataFolder / (app.testMode ? wardlet::kMailConfigTestFile : wardlet::kMailConfigFile);
    switch (wardlet::ReadMailConfigStrict(file, app.config)) {
        case wardlet::MailConfigRead::CannotOpen:
            log.MailLog("Cannot read email configuration file that is created by Wardlet program.");
            return false;
        case wardlet::MailConfigRead::TooShort:
            log.MailLog("Cannot read email configuration data from file.");
            return false;
        case wardlet::MailConfigRead::Ok:
            break;
    }
    log.MailLog("Email configuration file read OK.");
    return true;
}

// A CR or LF in a value that goes into a command line would let it end the command early and
// smuggle in others; such a setting is refused before anything is sent.
bool SettingsUsable(const CQuorvmailApp& app, MailLogSink& log) {
    const auto& c = app.config;
    if (FieldText(c.toAddress).empty()) {
        log.MailLog("Cannot send: no TO address is set.");
        return false;
    }
    struct Field {
        const char* label;
        std::string_view value;
    };
    bool login = c.requiresAuth == 1;
    const Field fields[] = {
        {"TO address", FieldText(c.toAddress)},
        {"CC address", FieldText(c.ccAddress)},
        {"BCC address", FieldText(c.bccAddress)},
        {"SMTP server address", FieldText(c.smtpServer)},
        {"SMTP user name", login ? FieldText(c.smtpUserName) : std::string_view()},
        {"SMTP password", login ? FieldText(c.smtpPassword) : std::string_view()},
    };
    for (const auto& field : fields) {
        if (wardlet::smtp::HasLineBreak(field.value)) {
            log.MailLog(std::string("Cannot send: the ") + field.label + " contains a line break.");
            return false;
        }
    }
    // A server would refuse such an address only after the connection, or take a space as the
    // end of it; the user sees why here instead.
    for (const auto& field : {fields[0], fields[1], fields[2]}) {
        if (!field.value.empty() && !wardlet::smtp::IsPlainAddress(field.value)) {
            log.MailLog(std::string("Cannot send: the ") + field.label + " \"" +
                        std::string(field.value) +
                        "\" is not an e-mail address (it needs an \"@\" and no spaces).");
            return false;
        }
    }
    return true;
}

CSmtpMessage BuildMessage(const wardlet::MailConfig& c, const std::string& body) {
    CSmtpMessage message;
    std::string to(FieldText(c.toAddress));
    message.subject = "Wardlet Email Notification";
    message.sender = CSmtpAddress(to, "Wardlet");
    message.recipient = CSmtpAddress(to, to);
    std::string cc(FieldText(c.ccAddress));
    if (!cc.empty()) message.AddCcRecipient(CSmtpAddress(cc, cc));
    std::string bcc(FieldText(c.bccAddress));
    if (!bcc.empty()) message.AddBccRecipient(CSmtpAddress(bcc, bcc));
    message.AddBody(CSmtpMessageBody(body, "text/plain", wardlet::smtp::TextCharset(body),
                                     wardlet::smtp::kEncodingAuto));
    return message;
}

SendOutcome OutcomeOf(int code) {
    if (code == 0) return SendOutcome::Delivered;
    if (code >= 500 && code <= 599) return SendOutcome::RefusedForGood;
    return SendOutcome::TryAgainLater;
}

SendOutcome Send(CQuorvmailApp& app, const std::string& body, MailLogSink& log) {
    const auto& c = app.config;
    MailerSmtp smtp(log);
    smtp.timeoutSeconds = app.smtpTimeoutSeconds;
    if (c.requiresAuth == 1) {
        smtp.userName = FieldText(c.smtpUserName);
        smtp.password = FieldText(c.smtpPassword);
    }
    std::string server(FieldText(c.smtpServer));
    log.MailLog("Connecting to " + server + "...");
    if (smtp.Connect(server) != 1) {
        log.MailLog("Connection failed.");
        return OutcomeOf(smtp.lastCode() == 0 ? -1 : smtp.lastCode());
    }
    log.MailLog("Sending email...");
    int result = smtp.SendMessage(BuildMessage(c, body));
    smtp.Disconnect();
    log.MailLog("Done - " + wardlet::MakeTimeStamp());
    return OutcomeOf(result);
}

// Normal mode: the taken entries that a server accepted leave the queue; the rest goes back in
// front of anything the monitor appended meanwhile. A refusal, even a permanent one, keeps them:
// the settings may be mended, and a notification must never vanish unsent.
void SettleQueue(const CQuorvmailApp& app, const std::optional<std::string>& taken, size_t consumed,
                 SendOutcome outcome) {
    if (!taken) return;
    bool sent = outcome == SendOutcome::Delivered;
    std::string_view unsent = *taken;
    if (sent) unsent.remove_prefix(std::min(consumed, unsent.size()));
    if (!wardlet::RestoreMailQueue(app.dataFolder, unsent))
        wardlet::DebugLog("Wardpost: cannot put the queue back; it stays aside for the next run");
}

}  // namespace

SendOutcome RunSendSequence(CQuorvmailApp& app, MailLogSink& log) {
    if (!ReadConfig(app, log)) return SendOutcome::ConfigUnreadable;
    auto testSettings = app.dataFolder / wardlet::kMailConfigTestFile;
    std::error_code ignored;
    if (!SettingsUsable(app, log)) {
        if (app.testMode) std::filesystem::remove(testSettings, ignored);
        return SendOutcome::UnusableSetting;
    }

    if (app.testMode) {
        SendOutcome outcome = Send(app, kTestBody, log);
        std::filesystem::remove(testSettings, ignored);
        return outcome;
    }
    wardlet::MailerRunLock run(app.dataFolder);
    if (run.busy()) {
        log.MailLog("Another Wardpost is sending the queued notifications; they stay queued.");
        return SendOutcome::TryAgainLater;
    }
    // Taken aside first, so entries appended while this run sends land in a new queue file.
    std::optional<std::string> taken = wardlet::TakeMailQueue(app.dataFolder);
    // Each entry with its changed lines, when the monitor left some beside the queue.
    wardlet::MailBody body = wardlet::BuildMailBody(taken ? *taken : std::string_view(),
                                                    wardlet::ChangedLinesIn(app.dataFolder));
    SendOutcome outcome = Send(app, body.text, log);
    SettleQueue(app, taken, body.consumed, outcome);
    return outcome;
}

}  // namespace wardpost
