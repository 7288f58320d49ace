// The session against scripted servers that do what a real one will not.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>

#include "mailer/smtp/base64.h"
#include "mailer/smtp/socket_io.h"
#include "recording_smtp.h"
#include "scripted_server.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;

std::string B64(const std::string& text) {
    smtp::CBase64 b64;
    b64.Encode(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    return b64.GetEncoded();
}

// The replies of a server that accepts everything; `override` answers first when it has a say.
std::function<std::string(const std::string&)> Accepting(
    std::function<std::string(const std::string&)> override = nullptr) {
    return [override](const std::string& line) -> std::string {
        if (override) {
            std::string answer = override(line);
            if (!answer.empty()) return answer;
        }
        if (line == "DATA") return "354 go on\r\n";
        if (line == "<message>") return "250 queued\r\n";
        if (line == "QUIT") return "221 bye\r\n";
        if (line.rfind("AUTH", 0) == 0) return "334 " + B64("Username:") + "\r\n";
        return "250 ok\r\n";
    };
}

TEST(ScriptedSession, HeloWhenEhloIsRefusedAndThenNoLogin) {
    ScriptedServer server(SmtpDialogue(Accepting([](const std::string& line) -> std::string {
        return line.rfind("EHLO", 0) == 0 ? "502 not here\r\n" : "";
    })));
    RecordingSmtp smtp;
    smtp.userName = "ann";
    smtp.password = "pw";
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    EXPECT_FALSE(smtp.extendedSmtp());
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), 0);
    smtp.Disconnect();
    auto lines = server.Finish();
    std::string name = smtp::ComputerName();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "EHLO " + name);
    EXPECT_EQ(lines[1], "HELO " + name);
    EXPECT_EQ(lines[2], "MAIL FROM: <me@example.org>");
    EXPECT_EQ(CountStarting(lines, "AUTH"), 0);
    EXPECT_TRUE(smtp.log.empty());
}

TEST(ScriptedSession, RepliesInPiecesAndOnSeveralLines) {
    ScriptedServer server([](ScriptedConnection& c, ScriptedServer& s) {
        c.Send("22");  // the greeting in three reads
        c.Pause(150);
        c.Send("0 split ");
        c.Pause(150);
        c.Send("greeting\r\n");
        s.Record(c.ReadLine());
        c.Send("250-first line\r\n250 last line\r\n");  // two lines at once
        s.Record(c.ReadLine());
        c.Send("250-one\r\n");  // two lines in two reads: the reply ends with the last one
        c.Pause(200);
        c.Send("250 two\r\n");
        s.Record(c.ReadLine());
        c.Send("250 accepted\r\n");
        s.Record(c.ReadLine());
    });
    RecordingSmtp smtp;
    smtp.userName = "";
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    EXPECT_EQ(smtp.Transact("NOOP\r\n"), 250);
    EXPECT_EQ(smtp.lastReply(), "250-one\r\n250 two");
    // The next command gets its own reply, not the tail of the one before.
    EXPECT_EQ(smtp.Transact("RSET\r\n"), 250);
    EXPECT_EQ(smtp.lastReply(), "250 accepted");
    ASSERT_GE(smtp.replies.size(), 2u);
    EXPECT_EQ(smtp.replies[0], "220|220 split greeting");
    EXPECT_EQ(smtp.replies[1], "250|250-first line\r\n250 last line");
}

TEST(ScriptedSession, NoReplyWithinTheTimeOutEndsWithoutQuit) {
    ScriptedServer server([](ScriptedConnection& c, ScriptedServer& s) {
        c.Send("220 hi\r\n");
        s.Record(c.ReadLine());
        c.Send("250 hello\r\n");
        s.Record(c.ReadLine());      // MAIL FROM, left unanswered
        s.Record(c.ReadLine(3000));  // anything after it (QUIT must not come)
    });
    RecordingSmtp smtp;
    smtp.timeoutSeconds = 1;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), -1);
    EXPECT_THAT(smtp.log, ElementsAre("SMTP error: "));
    EXPECT_FALSE(smtp.sessionOpen());
    smtp.Disconnect();
    auto lines = server.Finish();
    EXPECT_EQ(CountStarting(lines, "MAIL FROM"), 1);
    EXPECT_EQ(CountStarting(lines, "QUIT"), 0);
}

TEST(ScriptedSession, ARefusedRecipientAmongThreeIsSkipped) {
    ScriptedServer server(SmtpDialogue(Accepting([](const std::string& line) -> std::string {
        return line == "RCPT TO: <cc@example.org>" ? "550 no such user\r\n" : "";
    })));
    RecordingSmtp smtp;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    smtp::CSmtpMessage message = SimpleMessage();
    message.AddCcRecipient(smtp::CSmtpAddress("cc@example.org"));
    message.AddBccRecipient(smtp::CSmtpAddress("bcc@example.org"));
    EXPECT_EQ(smtp.SendMessage(message), 0);
    EXPECT_THAT(smtp.log, ElementsAre("SMTP message: 550 no such user"));
    smtp.Disconnect();
    auto lines = server.Finish();
    EXPECT_EQ(CountStarting(lines, "RCPT TO"), 3);
    EXPECT_EQ(CountStarting(lines, "<message>"), 1);
}

TEST(ScriptedSession, NoAcceptedRecipientMeansNoData) {
    ScriptedServer server(SmtpDialogue(Accepting([](const std::string& line) -> std::string {
        return line.rfind("RCPT", 0) == 0 ? "550 nobody here\r\n" : "";
    })));
    RecordingSmtp smtp;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), 550);
    EXPECT_THAT(smtp.log,
                ElementsAre("SMTP message: 550 nobody here", "SMTP error: 550 nobody here"));
    smtp.Disconnect();
    EXPECT_EQ(CountStarting(server.Finish(), "DATA"), 0);
}

// MAIL FROM answered 530 every time, with a login that the server accepts or refuses.
std::vector<std::string> RunEndless530(const std::string& loginReply, const std::string& user) {
    ScriptedServer server(SmtpDialogue(Accepting([&](const std::string& line) -> std::string {
        if (line.rfind("MAIL", 0) == 0) return "530 log in first\r\n";
        if (line.rfind("AUTH", 0) == 0) return "334 " + B64("Username:") + "\r\n";
        if (line == B64("ann")) return "334 " + B64("Password:") + "\r\n";
        if (line == B64("pw")) return loginReply;
        return "";
    })));
    RecordingSmtp smtp;
    smtp.userName = user;
    smtp.password = "pw";
    EXPECT_EQ(smtp.Connect("smtp+insecure://" + server.host()), 1);  // a login in plain text
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), 530);
    EXPECT_EQ(smtp.log.back(), "SMTP error: 530 log in first");
    smtp.Disconnect();
    return server.Finish();
}

TEST(ScriptedSession, MailFromAfter530TriesOneLoginAtMost) {
    // A login that succeeds: one more MAIL FROM, then the 530 is final.
    auto accepted = RunEndless530("235 welcome\r\n", "ann");
    EXPECT_EQ(CountStarting(accepted, "MAIL FROM"), 2);
    EXPECT_EQ(CountStarting(accepted, "AUTH LOGIN"), 2);  // after EHLO and after the first 530
    // A login that is refused: no second MAIL FROM.
    auto refused = RunEndless530("535 wrong\r\n", "ann");
    EXPECT_EQ(CountStarting(refused, "MAIL FROM"), 1);
    EXPECT_EQ(CountStarting(refused, "AUTH LOGIN"), 2);
    // No user name: no login can be made.
    auto anonymous = RunEndless530("", "");
    EXPECT_EQ(CountStarting(anonymous, "MAIL FROM"), 1);
    EXPECT_EQ(CountStarting(anonymous, "AUTH"), 0);
}

// AUTH LOGIN with the given prompts; returns the lines the server read and the login result.
std::vector<std::string> LoginWithPrompts(const std::string& userPrompt,
                                          const std::string& passwordPrompt, int& result,
                                          std::vector<std::string>& log) {
    ScriptedServer server(SmtpDialogue(Accepting([&](const std::string& line) -> std::string {
        if (line == "AUTH LOGIN") return "334 " + B64(userPrompt) + "\r\n";
        if (line == B64("ann")) return "334 " + B64(passwordPrompt) + "\r\n";
        if (line == B64("pw")) return "235 welcome\r\n";
        return "";
    })));
    RecordingSmtp smtp;
    smtp.userName = "";
    EXPECT_EQ(smtp.Connect("smtp+insecure://" + server.host()), 1);
    smtp.userName = "ann";
    smtp.password = "pw";
    result = smtp.AuthLogin();
    log = smtp.log;
    smtp.Disconnect();
    return server.Finish();
}

TEST(ScriptedSession, LoginAcceptsBothFormsOfTheLoginPrompts) {
    const std::pair<std::string, std::string> prompts[] = {
        {"Username:", "Password:"},
        {std::string("User Name\0", 10), std::string("Password\0", 9)},
        {"USERNAME", "password:"},
        {"user name:", "Password"},
    };
    for (const auto& [user, pass] : prompts) {
        int result = -2;
        std::vector<std::string> log;
        auto lines = LoginWithPrompts(user, pass, result, log);
        EXPECT_EQ(result, 0) << user;
        EXPECT_TRUE(log.empty()) << user;
        EXPECT_EQ(CountStarting(lines, B64("pw")), 1) << user;
    }
    int result = 0;
    std::vector<std::string> log;
    auto lines = LoginWithPrompts("Token:", "Password:", result, log);
    EXPECT_EQ(result, 334);
    EXPECT_THAT(log, ElementsAre("SMTP error: 334 " + B64("Token:")));
    EXPECT_EQ(CountStarting(lines, B64("ann")), 0);  // nothing of the account was sent
}

TEST(ScriptedSession, RefusalsAtTheStart) {
    ScriptedServer busy([](ScriptedConnection& c, ScriptedServer& s) {
        c.Send("554 no service here\r\n");
        s.Record(c.ReadLine(1000));
    });
    RecordingSmtp smtp;
    EXPECT_EQ(smtp.Connect(busy.host()), 0);
    EXPECT_THAT(smtp.log, ElementsAre("SMTP error: 554 no service here"));
    EXPECT_EQ(smtp.lastCode(), 554);
    EXPECT_FALSE(smtp.connected());
    EXPECT_EQ(CountStarting(busy.Finish(), "EHLO"), 0);

    ScriptedServer noAuth(SmtpDialogue(Accepting([](const std::string& line) -> std::string {
        return line == "AUTH LOGIN" ? "504 unrecognized authentication type\r\n" : "";
    })));
    RecordingSmtp smtp2;
    smtp2.userName = "ann";
    ASSERT_EQ(smtp2.Connect("smtp+insecure://" + noAuth.host()),
              1);  // the session goes on without a login
    EXPECT_THAT(smtp2.log, ElementsAre("SMTP message: 504 unrecognized authentication type"));
    EXPECT_EQ(smtp2.SendMessage(SimpleMessage()), 0);
}

TEST(ScriptedSession, ClosingMidDataIsATransportFailure) {
    ScriptedServer server([](ScriptedConnection& c, ScriptedServer& s) {
        c.Send("220 hi\r\n");
        for (const char* reply :
             {"250 hello\r\n", "250 sender ok\r\n", "250 rcpt ok\r\n", "354 go on\r\n"}) {
            s.Record(c.ReadLine());
            c.Send(reply);
        }
        s.Record(c.ReadLine());  // the first line of the message, then gone
    });
    RecordingSmtp smtp;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), -1);
    EXPECT_THAT(smtp.log, ElementsAre("SMTP error: "));
    EXPECT_FALSE(smtp.sessionOpen());
    smtp.Disconnect();
    EXPECT_EQ(CountStarting(server.Finish(), "QUIT"), 0);
}

TEST(ScriptedSession, APeerThatStopsReadingCannotHoldTheSendForEver) {
    std::atomic<bool> clientReturned{false};
    ScriptedServer server([&](ScriptedConnection& c, ScriptedServer& s) {
        c.Send("220 hi\r\n");
        s.Record(c.ReadLine());
        c.Send("250 hello\r\n");
        // Reads nothing more; a client whose send waits for ever is still stuck after a minute.
        for (int waited = 0; !clientReturned && waited < 60000; waited += 50)
            c.Pause(50);
        if (!clientReturned) s.Record("gave up waiting");
    });
    RecordingSmtp smtp;
    smtp.timeoutSeconds = 1;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    // Far more than the socket buffers on both sides can hold.
    EXPECT_EQ(smtp.Transact(std::string(64 << 20, 'x')), -1);
    clientReturned = true;
    EXPECT_EQ(CountStarting(server.Finish(), "gave up"), 0);
}

TEST(ScriptedSession, LongCommandsReportProgressAndCanBeAborted) {
    ScriptedServer server(SmtpDialogue(Accepting()));
    RecordingSmtp smtp;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    std::string body;
    for (int i = 0; i < 100; ++i)
        body += "Line " + std::to_string(i) + " of the body\r\n";
    EXPECT_EQ(smtp.SendMessage(SimpleMessage(body)), 0);
    ASSERT_GE(smtp.progress.size(), 2u);
    EXPECT_EQ(smtp.progress[0], 1024u);
    EXPECT_EQ(smtp.progress.back(), smtp.progressTotal);

    smtp.progress.clear();
    smtp.abortAfter = 1024;
    EXPECT_EQ(smtp.SendMessage(SimpleMessage(body)), -1);
    EXPECT_EQ(smtp.progress.size(), 1u);
}

TEST(ScriptedSession, LineBreaksInAddressesOrAccountAreRefusedBeforeSending) {
    ScriptedServer server(SmtpDialogue(Accepting()));
    RecordingSmtp smtp;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    smtp::CSmtpMessage injected = SimpleMessage();
    injected.recipient.address = "you@example.org>\r\nRCPT TO: <evil@example.org";
    EXPECT_EQ(smtp.SendMessage(injected), -1);
    smtp::CSmtpMessage injectedBcc = SimpleMessage();
    injectedBcc.AddBccRecipient(smtp::CSmtpAddress("x@y\nDATA"));
    EXPECT_EQ(smtp.SendMessage(injectedBcc), -1);
    smtp.userName = "ann\r\nQUIT";
    EXPECT_EQ(smtp.AuthLogin(), -1);
    // Only blind recipients: refused before MAIL FROM.
    smtp::CSmtpMessage blindOnly = SimpleMessage();
    blindOnly.recipient = smtp::CSmtpAddress();
    blindOnly.AddBccRecipient(smtp::CSmtpAddress("bcc@example.org"));
    EXPECT_EQ(smtp.SendMessage(blindOnly), -1);
    smtp.Disconnect();
    auto lines = server.Finish();
    EXPECT_EQ(CountStarting(lines, "MAIL"), 0);
    EXPECT_EQ(CountStarting(lines, "AUTH"), 0);
    EXPECT_EQ(CountStarting(lines, "QUIT"), 1);
}

TEST(ScriptedSession, HostTextsThatCannotBeReached) {
    RecordingSmtp smtp;
    EXPECT_EQ(smtp.Connect("127.0.0.1:notaport"), 0);
    EXPECT_EQ(smtp.Connect("127.0.0.1:0"), 0);
    EXPECT_EQ(smtp.Connect("127.0.0.1:70000"), 0);
    EXPECT_EQ(smtp.Connect(""), 0);
    EXPECT_EQ(smtp.Connect("no-such-host.invalid"), 0);
    EXPECT_EQ(smtp.Connect(std::string(300, 'a')), 0);
    {
        ScriptedServer closed([](ScriptedConnection& c, ScriptedServer&) { c.Close(); });
        EXPECT_EQ(smtp.Connect(closed.host()), 0);  // closes before greeting
    }
    EXPECT_EQ(smtp.lastCode(), -1);
    EXPECT_TRUE(smtp.log.size() == 1 && smtp.log[0] == "SMTP error: ");
    EXPECT_EQ(smtp::DefaultSmtpPort("no-such-service"), htons(25));
}

}  // namespace
}  // namespace wardlet::test

namespace wardlet::test {
namespace {

TEST(ScriptedSession, AReplyWithoutACodeIsNeverTakenForSuccess) {
    ScriptedServer server(SmtpDialogue(Accepting([](const std::string& line) -> std::string {
        return line == "<message>" ? "thanks, I guess\r\n" : "";
    })));
    RecordingSmtp smtp;
    ASSERT_EQ(smtp.Connect(server.host()), 1);
    EXPECT_EQ(smtp.SendMessage(SimpleMessage()), -1);
    EXPECT_THAT(smtp.log, ElementsAre("SMTP error: thanks, I guess"));
}

}  // namespace
}  // namespace wardlet::test
