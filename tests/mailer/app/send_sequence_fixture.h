#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "common/mail_queue.h"
#include "file_bytes.h"
#include "mail_oracle.h"
#include "mailer/app/send_sequence.h"
#include "mailer_fixture.h"
#include "smtp_peer.h"

namespace wardlet::test {

using wardpost::SendOutcome;

// The mailer's whole run over a data folder of the test, its log recorded.
class SendSequenceTest : public ::testing::Test {
protected:
    SendOutcome Run(bool testMode = false) {
        wardpost::CQuorvmailApp app;
        app.dataFolder = folder_;
        app.testMode = testMode;
        app.smtpTimeoutSeconds = 5;
        return wardpost::RunSendSequence(app, log_);
    }
    std::string Queue() const { return ReadBytes(folder_ / kMailQueueFile); }
    bool Exists(const char* name) const { return std::filesystem::exists(folder_ / name); }
    // The message the peer received, its body decoded by Python's email package. The body ends
    // with the line end that precedes the "." closing the data.
    ReceivedMail Received(SmtpPeer& peer, std::string* body = nullptr) {
        auto events = peer.EventsUntil("MESSAGE");
        EXPECT_FALSE(events.empty());
        ReceivedMail mail = ParseMessageEvent(events.empty() ? "" : events.back());
        if (body) *body = ParseMail(mail.content)["part[].payload"];
        return mail;
    }

    TempDir dir_;
    std::filesystem::path folder_ = dir_.path();
    RecordedLog log_;
};

}  // namespace wardlet::test
