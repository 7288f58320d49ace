// The session against a real SMTP server (aiosmtpd with AUTH LOGIN) on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "recording_smtp.h"
#include "smtp_peer.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;

TEST(SmtpSession, DeliversTheMessageByteForByteWithLoginAndAllRecipients) {
    SmtpPeer peer({"--user", "ann", "--password", "s3cret pass"});
    smtp::CSmtpMessage message = SimpleMessage("First line\r\n.\r\n..two dots\r\nend\r\n");
    message.AddCcRecipient(smtp::CSmtpAddress("cc@example.org", "cc@example.org"));
    message.AddBccRecipient(smtp::CSmtpAddress("bcc@example.org", "bcc@example.org"));
    smtp::CSmtpMessage copy = message;
    std::string expected;
    copy.Compose(expected);
    {
        RecordingSmtp smtp;
        smtp.userName = "ann";
        smtp.password = "s3cret pass";
        ASSERT_EQ(smtp.Connect("smtp+insecure://" + peer.host()), 1);
        EXPECT_TRUE(smtp.extendedSmtp());
        EXPECT_EQ(smtp.SendMessage(message), 0);
        smtp.Disconnect();
        smtp.Disconnect();  // a second call sends nothing
        EXPECT_TRUE(smtp.log.empty()) << smtp.log.front();
    }
    auto events = peer.EventsUntil("CMD QUIT");
    EXPECT_THAT(Commands(events),
                ElementsAre("EHLO", "AUTH", "MAIL", "RCPT", "RCPT", "RCPT", "DATA", "QUIT"));
    auto login = std::find(events.begin(), events.end(), "LOGIN ok ann");
    EXPECT_NE(login, events.end());
    auto mailLine = std::find_if(events.begin(), events.end(),
                                 [](const std::string& e) { return e.rfind("MESSAGE ", 0) == 0; });
    ASSERT_NE(mailLine, events.end());
    ReceivedMail mail = ParseMessageEvent(*mailLine);
    EXPECT_EQ(mail.from, "me@example.org");
    EXPECT_THAT(mail.recipients,
                ElementsAre("you@example.org", "cc@example.org", "bcc@example.org"));
    // The receiver undoes the dot-stuffing and keeps the line end before the final ".".
    for (size_t at = 0; (at = expected.find("\r\n..", at)) != std::string::npos; at += 3)
        expected.erase(at + 2, 1);
    EXPECT_EQ(mail.content, expected + "\r\n");
    EXPECT_NE(mail.content.find("\r\n.\r\n..two dots\r\n"), std::string::npos);
    EXPECT_EQ(mail.content.find("bcc@"), std::string::npos);
}

TEST(SmtpSession, RefusedCredentialsAreReportedOnceAndNotRetried) {
    SmtpPeer peer({"--user", "ann", "--password", "right"});
    RecordingSmtp smtp;
    smtp.userName = "ann";
    smtp.password = "wrong";
    ASSERT_EQ(smtp.Connect("smtp+insecure://" + peer.host()), 1);
    ASSERT_EQ(smtp.log.size(), 2u);
    EXPECT_EQ(smtp.log[0].rfind("SMTP message: 535", 0), 0u) << smtp.log[0];
    EXPECT_EQ(smtp.log[1].rfind("SMTP error: 535", 0), 0u) << smtp.log[1];
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), 0);  // this server takes mail without a login
    smtp.Disconnect();
    auto events = peer.EventsUntil("CMD QUIT");
    EXPECT_EQ(std::count(events.begin(), events.end(), "LOGIN refused ann"), 1);
}

TEST(SmtpSession, NoUserNameGoesFromEhloToMailAndStopsAtTheFirst530) {
    SmtpPeer peer({"--require-auth"});
    RecordingSmtp smtp;
    smtp.userName = "";
    ASSERT_EQ(smtp.Connect(peer.host()), 1);
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), 530);
    ASSERT_EQ(smtp.log.size(), 1u);
    EXPECT_EQ(smtp.log[0], "SMTP error: 530 5.7.0 Authentication required");
    smtp.Disconnect();
    EXPECT_THAT(Commands(peer.EventsUntil("CMD QUIT")), ElementsAre("EHLO", "MAIL", "QUIT"));
}

TEST(SmtpSession, NoPasswordInClearUnlessTheServerTextSaysInsecure) {
    SmtpPeer peer({"--user", "ann", "--password", "pw", "--require-auth"});
    {
        RecordingSmtp smtp;
        smtp.userName = "ann";
        smtp.password = "pw";
        ASSERT_EQ(smtp.Connect(peer.host()), 1);
        EXPECT_EQ(smtp.SendMessage(SimpleMessage()), 530);
        EXPECT_FALSE(smtp.secure());
        EXPECT_THAT(smtp.log,
                    ElementsAre("SMTP message: The server offers no encryption, so the password "
                                "was not sent.",
                                "SMTP error: 530 5.7.0 Authentication required"));
        smtp.Disconnect();
    }
    auto held = peer.EventsUntil("CMD QUIT");
    EXPECT_THAT(Commands(held), ElementsAre("EHLO", "MAIL", "QUIT"));
    EXPECT_EQ(FindEvent(held, "MECHANISM"), "");

    // Asked for by name, with its risk: the login goes in plain text.
    RecordingSmtp smtp;
    smtp.userName = "ann";
    smtp.password = "pw";
    ASSERT_EQ(smtp.Connect("SMTP+insecure://" + peer.host()), 1);
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), 0);
    smtp.Disconnect();
    EXPECT_TRUE(smtp.log.empty()) << smtp.log.front();
    auto events = peer.EventsUntil("CMD QUIT");
    EXPECT_THAT(Commands(events), ElementsAre("EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"));
    EXPECT_EQ(FindEvent(events, "LOGIN"), "LOGIN ok ann");
}

}  // namespace
}  // namespace wardlet::test
