// The queue sent, kept or refused as a whole run of the mailer sees it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scripted_server.h"
#include "send_sequence_fixture.h"
#include "test_certificates.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;
using wardpost::SendOutcome;

TEST_F(SendSequenceTest, NormalModeSendsTheQueueAndRemovesWhatWasSent) {
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host(), "owner@example.org", "cc@example.org", "bcc@example.org"});
    QueueEntry(folder_, "Price list");
    QueueEntry(folder_, "Timetable");
    std::string queued = Queue();

    EXPECT_EQ(Run(), SendOutcome::Delivered);
    ASSERT_EQ(log_.lines.size(), 4u);
    EXPECT_EQ(log_.lines[0], "Email configuration file read OK.");
    EXPECT_EQ(log_.lines[1], "Connecting to " + peer.host() + "...");
    EXPECT_EQ(log_.lines[2], "Sending email...");
    EXPECT_TRUE(MatchesDoneLine(log_.lines[3])) << log_.lines[3];

    std::string body;
    ReceivedMail mail = Received(peer, &body);
    EXPECT_EQ(mail.from, "owner@example.org");
    EXPECT_THAT(mail.recipients,
                ElementsAre("owner@example.org", "cc@example.org", "bcc@example.org"));
    EXPECT_EQ(body, Hex(BuildMailBody(queued).text + "\r\n"));
    auto facts = ParseMail(mail.content);
    EXPECT_EQ(facts["header.Subject"], "Wardlet Email Notification");
    EXPECT_EQ(facts["from"], "Wardlet|owner@example.org");
    EXPECT_EQ(facts["to"], "owner@example.org|owner@example.org;cc@example.org|cc@example.org");
    EXPECT_FALSE(Exists(kMailQueueFile));
    EXPECT_FALSE(Exists(kMailQueueTakenFile));
}

TEST_F(SendSequenceTest, AChangedEntryCarriesItsChangedLinesAndTheyGoWithIt) {
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()});
    MailConfig config = MakeConfig({peer.host()});
    ASSERT_TRUE(AppendMailEntry(folder_, config, MailEvent::Changed, "Prices", "http://x/p",
                                "-pears 3\n+pears 5\n\u2026 2 more lines\n"));
    QueueEntry(folder_, "Timetable");
    std::string queued = Queue();
    EXPECT_EQ(queued.find("pears"), std::string::npos) << "the queue keeps its format";
    std::string expected = BuildMailBody(queued).text;
    size_t below = expected.find("http://x/p\r\n") + 12;
    expected.insert(below, "-pears 3\r\n+pears 5\r\n\u2026 2 more lines\r\n");

    EXPECT_EQ(Run(), SendOutcome::Delivered);
    std::string body;
    Received(peer, &body);
    EXPECT_EQ(body, Hex(expected + "\r\n"));
    EXPECT_FALSE(Exists(kMailChangesFolder)) << "the side file went with its entry";
}

TEST_F(SendSequenceTest, WithoutItsSideFileAnEntryIsMailedAsEverAndAnUnsentOneKeepsIt) {
    WriteSettings(folder_, {ClosedServer()});
    MailConfig config = MakeConfig({ClosedServer()});
    ASSERT_TRUE(
        AppendMailEntry(folder_, config, MailEvent::Changed, "Prices", "http://x/p", "+new\n"));
    EXPECT_EQ(Run(), SendOutcome::TryAgainLater);
    ASSERT_TRUE(Exists(kMailChangesFolder)) << "still queued, so still beside the queue";

    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()});
    std::filesystem::remove_all(folder_ / kMailChangesFolder);
    std::string queued = Queue();
    EXPECT_EQ(Run(), SendOutcome::Delivered);
    std::string body;
    Received(peer, &body);
    EXPECT_EQ(body, Hex(BuildMailBody(queued).text + "\r\n")) << "byte for byte as before";
}

TEST_F(SendSequenceTest, EntriesQueuedWhileSendingStayForTheNextRun) {
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()});
    QueueEntry(folder_, "Before");
    log_.onLine = [&](const std::string& line) {
        if (line == "Sending email...") QueueEntry(folder_, "Meanwhile");
    };
    EXPECT_EQ(Run(), SendOutcome::Delivered);
    std::string body;
    Received(peer, &body);
    std::string left = Queue();
    EXPECT_NE(left.find("Changed: Meanwhile\r\r\n"), std::string::npos);
    EXPECT_EQ(left.find("Before"), std::string::npos);
}

TEST_F(SendSequenceTest, WithoutAConnectionEverythingStaysQueuedInOrder) {
    WriteSettings(folder_, {ClosedServer()});
    QueueEntry(folder_, "First");
    std::string before = Queue();
    log_.onLine = [&](const std::string& line) {
        if (line.rfind("Connecting to", 0) == 0) QueueEntry(folder_, "Second");
    };
    EXPECT_EQ(Run(), SendOutcome::TryAgainLater);
    EXPECT_EQ(log_.lines.back(), "Connection failed.");
    EXPECT_EQ(log_.lines.size(), 3u);
    std::string after = Queue();
    EXPECT_EQ(after.substr(0, before.size()), before);  // the taken entries come first
    EXPECT_NE(after.find("Changed: Second\r\r\n"), std::string::npos);
    EXPECT_FALSE(Exists(kMailQueueTakenFile));
}

// A server that accepts everything up to the end of the data, which it answers with `end`.
ScriptedServer::Script AnswersDataWith(std::string end) {
    return SmtpDialogue([end](const std::string& line) -> std::string {
        if (line == "DATA") return "354 go on\r\n";
        if (line == "<message>") return end;
        if (line == "QUIT") return "221 bye\r\n";
        return "250 ok\r\n";
    });
}

TEST_F(SendSequenceTest, APassingRefusalKeepsTheQueue) {
    QueueEntry(folder_, "Kept");
    std::string queued = Queue();
    {
        ScriptedServer server(AnswersDataWith("451 try again later\r\n"));
        WriteSettings(folder_, {server.host()});
        EXPECT_EQ(Run(), SendOutcome::TryAgainLater);
    }
    EXPECT_THAT(log_.lines[3], "SMTP error: 451 try again later");
    EXPECT_TRUE(MatchesDoneLine(log_.lines[4]));
    EXPECT_EQ(Queue(), queued);
}

// Only a server's acceptance of the data takes entries off the queue: a permanent refusal at
// any step keeps them for the next run (the monitor goes on starting the mailer every minute).
TEST_F(SendSequenceTest, PermanentRefusalsKeepTheEntriesUntilAServerTakesThem) {
    QueueEntry(folder_, "Kept");
    std::string queued = Queue();
    auto refusing = [](std::string step, std::string answer) {
        return SmtpDialogue([step, answer](const std::string& line) -> std::string {
            if (line.rfind(step, 0) == 0) return answer;
            if (line == "DATA") return "354 go on\r\n";
            if (line == "<message>") return "250 queued\r\n";
            if (line == "QUIT") return "221 bye\r\n";
            return "250 ok\r\n";
        });
    };
    struct Case {
        ScriptedServer::Script script;
        std::string logged;
    };
    const Case cases[] = {
        {[](ScriptedConnection& c, ScriptedServer&) { c.Send("554 no service here\r\n"); },
         "SMTP error: 554 no service here"},
        {refusing("RCPT", "550 no such user\r\n"), "SMTP message: 550 no such user"},
        {refusing("<message>", "552 too much mail\r\n"), "SMTP error: 552 too much mail"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        log_.lines.clear();
        {
            ScriptedServer server(c.script);
            WriteSettings(folder_, {server.host()});
            EXPECT_EQ(Run(), SendOutcome::RefusedForGood);
        }
        EXPECT_THAT(log_.lines, ::testing::Contains(c.logged));
        EXPECT_EQ(Queue(), queued);
        EXPECT_FALSE(Exists(kMailQueueTakenFile));
        EXPECT_TRUE(MailQueueExists(folder_));
    }
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()});
    EXPECT_EQ(Run(), SendOutcome::Delivered);
    std::string body;
    Received(peer, &body);
    EXPECT_EQ(body, Hex(BuildMailBody(queued).text + "\r\n"));
    EXPECT_FALSE(Exists(kMailQueueFile));
}

TEST_F(SendSequenceTest, EntriesBeyondTheBodyLimitStayQueued) {
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()});
    // 90 lines of 100 characters as read (98 and a line end stored as CR CR LF).
    std::string stored;
    for (int i = 0; i < 90; ++i) {
        char number[8];
        snprintf(number, sizeof number, "%02d", i);
        stored += number + std::string(96, 'x') + "\r\r\n";
    }
    WriteBytes(folder_ / kMailQueueFile, stored);
    EXPECT_EQ(Run(), SendOutcome::Delivered);
    std::string body;
    Received(peer, &body);
    std::string expectedBody;
    for (int i = 0; i < 79; ++i)
        expectedBody += stored.substr(i * 101, 98) + "\r\n";
    EXPECT_EQ(body, Hex(expectedBody + "\r\n"));
    EXPECT_EQ(Queue(), stored.substr(79 * 101));  // lines 80 to 90 wait for the next run
}

TEST_F(SendSequenceTest, NoQueueSendsTheFallbackText) {
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()});
    EXPECT_EQ(Run(), SendOutcome::Delivered);
    std::string body;
    Received(peer, &body);
    EXPECT_EQ(body, Hex(std::string(kMailFallbackBody) + "\r\n"));
    EXPECT_FALSE(Exists(kMailQueueFile));
}

TEST_F(SendSequenceTest, TestModeSendsTheTestTextAndRemovesOnlyTheTestSettings) {
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()}, true);
    QueueEntry(folder_, "Untouched");
    std::string queued = Queue();
    EXPECT_EQ(Run(true), SendOutcome::Delivered);
    std::string body;
    Received(peer, &body);
    EXPECT_EQ(body, Hex("This is a test message from Wardlet program.\r\n\r\n"));
    EXPECT_FALSE(Exists(kMailConfigTestFile));
    EXPECT_EQ(Queue(), queued);

    // Also after a failed connection.
    log_.lines.clear();
    WriteSettings(folder_, {ClosedServer()}, true);
    EXPECT_EQ(Run(true), SendOutcome::TryAgainLater);
    EXPECT_EQ(log_.lines.back(), "Connection failed.");
    EXPECT_FALSE(Exists(kMailConfigTestFile));
    EXPECT_EQ(Queue(), queued);
}

TEST_F(SendSequenceTest, UnreadableSettingsStopBeforeAnythingElse) {
    QueueEntry(folder_, "Waiting");
    std::string queued = Queue();
    EXPECT_EQ(Run(), SendOutcome::ConfigUnreadable);
    EXPECT_THAT(log_.lines,
                ElementsAre("Cannot read email configuration file that is created by Wardlet "
                            "program."));

    log_.lines.clear();
    auto full = ToBytes(MakeConfig({ClosedServer()}));
    WriteBytes(folder_ / kMailConfigFile, std::string(full.begin(), full.end() - 1));
    WriteBytes(folder_ / kMailConfigTestFile, std::string(full.begin(), full.end() - 1));
    EXPECT_EQ(Run(), SendOutcome::ConfigUnreadable);
    EXPECT_EQ(Run(true), SendOutcome::ConfigUnreadable);
    EXPECT_THAT(log_.lines, ElementsAre("Cannot read email configuration data from file.",
                                        "Cannot read email configuration data from file."));
    EXPECT_EQ(Queue(), queued);
    EXPECT_TRUE(Exists(kMailConfigTestFile));
}

TEST_F(SendSequenceTest, LineBreaksInSettingsAreRefusedBeforeConnecting) {
    QueueEntry(folder_, "Waiting");
    std::string queued = Queue();
    const std::pair<MailSettings, std::string> cases[] = {
        {{"127.0.0.1:1", "a@b.org\r\nRCPT TO: <x@y.org>"}, "TO address"},
        {{"127.0.0.1:1", "a@b.org", "c@d.org\nDATA"}, "CC address"},
        {{"127.0.0.1:1", "a@b.org", "", "e@f.org\r"}, "BCC address"},
        {{"127.0.0.1:1", "a@b.org", "", "", 1, "ann", "pw\r\nQUIT"}, "SMTP password"},
        {{"127.0.0.1:1", "a@b.org", "", "", 1, "ann\n", "pw"}, "SMTP user name"},
    };
    for (const auto& [settings, label] : cases) {
        log_.lines.clear();
        WriteSettings(folder_, settings);
        WriteSettings(folder_, settings, true);
        EXPECT_EQ(Run(), SendOutcome::UnusableSetting);
        EXPECT_EQ(Run(true), SendOutcome::UnusableSetting);
        std::string refusal = "Cannot send: the " + label + " contains a line break.";
        EXPECT_THAT(log_.lines, ElementsAre("Email configuration file read OK.", refusal,
                                            "Email configuration file read OK.", refusal));
        EXPECT_EQ(Queue(), queued);
        EXPECT_FALSE(Exists(kMailConfigTestFile));
    }
    // Without authentication the stored account is not used, so it is not checked either.
    log_.lines.clear();
    WriteSettings(folder_, {ClosedServer(), "a@b.org", "", "", 0, "ann\n", "pw"});
    EXPECT_EQ(Run(), SendOutcome::TryAgainLater);
    EXPECT_EQ(log_.lines.back(), "Connection failed.");
}

}  // namespace
}  // namespace wardlet::test
