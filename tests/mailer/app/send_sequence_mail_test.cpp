// What the mail looks like and how it reaches the server: 8-bit names, addresses, TLS, login.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scripted_server.h"
#include "send_sequence_fixture.h"
#include "test_certificates.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;
using wardpost::SendOutcome;

TEST_F(SendSequenceTest, EightBitDocumentNamesArriveReadableWithOrWithout8BitMime) {
    const std::string name =
        "Preis\xC3\xBC"
        "bersicht \xE6\x97\xA5\xE6\x9C\xAC";
    for (bool eightBitMime : {true, false}) {
        SCOPED_TRACE(eightBitMime ? "8BITMIME" : "7-bit server");
        std::vector<std::string> options;
        if (!eightBitMime) options.push_back("--no-8bitmime");
        SmtpPeer peer(options);
        WriteSettings(folder_, {peer.host()});
        // Mostly plain entries, as a real queue has: the body then goes as 8-bit text.
        for (const char* plain : {"Price list", "Timetable", "News", "Weather", "Agenda"})
            QueueEntry(folder_, plain);
        QueueEntry(folder_, name);
        // An entry written with plain CR LF line ends, as another writer might have.
        std::string crLf = "2012/01/05 [09:03:07] Changed: " + name + "\r\nfile:///tmp/x\r\n\r\n";
        WriteBytes(folder_ / kMailQueueFile, Queue() + crLf);
        EXPECT_EQ(Run(), SendOutcome::Delivered);
        ReceivedMail mail = Received(peer);
        EXPECT_EQ(mail.options, eightBitMime ? "BODY=8BITMIME" : "-");
        for (size_t i = 0; i < mail.content.size(); ++i) {
            if (mail.content[i] == '\n') {
                ASSERT_EQ(mail.content[i - 1], '\r') << "bare LF at " << i;
            }
        }
        auto facts = ParseMailAsClientsDo(mail.content);
        EXPECT_EQ(facts["defects"], "0") << facts["defect-list"];
        EXPECT_EQ(facts["body-charset"], "utf-8");
        EXPECT_EQ(facts["body-cte"], eightBitMime ? "8bit" : "quoted-printable");
        std::string body = facts["body"];
        EXPECT_NE(body.find("Changed: " + name + "\r\nhttps://example.org/" + name + "\r\n\r\n"),
                  std::string::npos)
            << body;
        EXPECT_NE(body.find("Changed: " + name + "\r\nfile:///tmp/x\r\n\r\n"), std::string::npos)
            << body;
        EXPECT_NE(facts["message-id"].find('@'), std::string::npos);
        log_.lines.clear();
    }
}

TEST_F(SendSequenceTest, AddressesThatAreNoMailboxesAreRefusedBeforeConnecting) {
    QueueEntry(folder_, "Waiting");
    std::string queued = Queue();
    const std::pair<MailSettings, std::string> cases[] = {
        {{"127.0.0.1:1", "owner example.org"}, "TO address \"owner example.org\""},
        {{"127.0.0.1:1", "a@b.org", "ann@x.org, bob@y.org"}, "CC address \"ann@x.org, bob@y.org\""},
        {{"127.0.0.1:1", "a@b.org", "", "nobody"}, "BCC address \"nobody\""},
    };
    for (const auto& [settings, what] : cases) {
        log_.lines.clear();
        WriteSettings(folder_, settings);
        EXPECT_EQ(Run(), SendOutcome::UnusableSetting);
        EXPECT_THAT(
            log_.lines,
            ElementsAre("Email configuration file read OK.",
                        "Cannot send: the " + what +
                            " is not an e-mail address (it needs an \"@\" and no spaces)."));
        EXPECT_EQ(Queue(), queued);
    }
}

TEST_F(SendSequenceTest, OverTlsTheQueueGoesOutAndARefusedCertificateKeepsIt) {
    TestCertificates certs;
    ScopedEnvironment trust("SSL_CERT_FILE", certs.ca);
    auto Peer = [](const TestCertificates::Server& server, const char* mode) {
        return std::make_unique<SmtpPeer>(
            std::vector<std::string>{"--cert", server.cert, "--key", server.key, mode, "--user",
                                     "ann", "--password", "pw", "--require-auth"});
    };
    const TestCertificates::Server good{certs.cert, certs.key};
    struct Refusal {
        TestCertificates::Server server;
        const char* mode;
        const char* why;
    };
    const Refusal refusals[] = {
        {certs.Issue("other", "DNS:other.example"), "--starttls", "IP address mismatch"},
        {certs.Issue("old", "IP:127.0.0.1", true), "--implicit-tls", "certificate has expired"},
    };
    QueueEntry(folder_, "Kept");
    std::string queued = Queue();
    for (const auto& refusal : refusals) {
        auto peer = Peer(refusal.server, refusal.mode);
        std::string scheme = std::string(refusal.mode) == "--implicit-tls" ? "smtps://" : "";
        WriteSettings(folder_, {scheme + peer->host(), "a@b.org", "", "", 1, "ann", "pw"});
        log_.lines.clear();
        EXPECT_EQ(Run(), SendOutcome::TryAgainLater);
        ASSERT_EQ(log_.lines.size(), 4u);
        EXPECT_EQ(log_.lines[2],
                  "SMTP error: Cannot make a secure (TLS) connection to 127.0.0.1: " +
                      std::string(refusal.why));
        EXPECT_EQ(log_.lines[3], "Connection failed.");
        EXPECT_EQ(Queue(), queued);
    }
    for (const char* mode : {"--starttls", "--implicit-tls"}) {
        auto peer = Peer(good, mode);
        std::string scheme = std::string(mode) == "--implicit-tls" ? "smtps://" : "smtp://";
        WriteSettings(folder_, {scheme + peer->host(), "a@b.org", "", "", 1, "ann", "pw"});
        QueueEntry(folder_, mode);
        EXPECT_EQ(Run(), SendOutcome::Delivered);
        std::string body;
        Received(*peer, &body);
        EXPECT_NE(body.find(Hex("Changed: " + std::string(mode))), std::string::npos);
        EXPECT_FALSE(Exists(kMailQueueFile));
    }
}

TEST_F(SendSequenceTest, LogsInOnlyWhenTheSettingsAskForIt) {
    {
        SmtpPeer peer({"--user", "ann", "--password", "pw"});
        WriteSettings(folder_, {peer.host(), "a@b.org", "", "", 0, "ann", "pw"});
        EXPECT_EQ(Run(), SendOutcome::Delivered);
        EXPECT_THAT(Commands(peer.EventsUntil("CMD QUIT")),
                    ElementsAre("EHLO", "MAIL", "RCPT", "DATA", "QUIT"));
    }
    {
        SmtpPeer peer({"--user", "ann", "--password", "pw"});
        WriteSettings(folder_,
                      {"smtp+insecure://" + peer.host(), "a@b.org", "", "", 1, "ann", "wrong"});
        log_.lines.clear();
        EXPECT_EQ(Run(), SendOutcome::Delivered);  // this server takes mail without a login
        ASSERT_GE(log_.lines.size(), 4u);
        EXPECT_EQ(log_.lines[2].rfind("SMTP message: 535", 0), 0u);
        EXPECT_EQ(log_.lines[3].rfind("SMTP error: 535", 0), 0u);
        EXPECT_EQ(log_.lines[4], "Sending email...");
    }
}

TEST_F(SendSequenceTest, NoPasswordGoesToAServerWithoutEncryptionAndTheQueueStays) {
    SmtpPeer peer({"--user", "ann", "--password", "pw", "--require-auth"});
    QueueEntry(folder_, "Kept");
    std::string queued = Queue();
    WriteSettings(folder_, {peer.host(), "a@b.org", "", "", 1, "ann", "pw"});
    EXPECT_EQ(Run(), SendOutcome::RefusedForGood);
    EXPECT_THAT(log_.lines, ::testing::Contains("SMTP message: The server offers no encryption, "
                                                "so the password was not sent."));
    EXPECT_THAT(Commands(peer.EventsUntil("CMD QUIT")), ElementsAre("EHLO", "MAIL", "QUIT"));
    EXPECT_EQ(Queue(), queued);

    // Named smtp+insecure://, the same server gets the login and the queue goes out.
    WriteSettings(folder_, {"smtp+insecure://" + peer.host(), "a@b.org", "", "", 1, "ann", "pw"});
    EXPECT_EQ(Run(), SendOutcome::Delivered);
    EXPECT_THAT(Commands(peer.EventsUntil("CMD QUIT")),
                ElementsAre("EHLO", "AUTH", "MAIL", "RCPT", "DATA", "QUIT"));
    EXPECT_FALSE(Exists(kMailQueueFile));
}

}  // namespace
}  // namespace wardlet::test
