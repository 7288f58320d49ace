// The session over TLS against aiosmtpd on loopback, with a certificate authority made for the
// test: STARTTLS, implicit TLS, refused certificates, AUTH PLAIN.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "recording_smtp.h"
#include "scripted_server.h"
#include "smtp_peer.h"
#include "test_certificates.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SmtpTlsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        certs_ = std::make_unique<TestCertificates>();
        otherHost_ = certs_->Issue("other", "DNS:other.example");
        expired_ = certs_->Issue("expired", "IP:127.0.0.1,DNS:localhost", true);
    }
    static void TearDownTestSuite() { certs_.reset(); }

    static std::vector<std::string> TlsOptions(const TestCertificates::Server& server,
                                               const char* mode = "--starttls") {
        return {"--cert", server.cert, "--key",      server.key, mode,
                "--user", "ann",       "--password", "pw"};
    }
    static TestCertificates::Server Good() { return {certs_->cert, certs_->key}; }

    // Sends SimpleMessage as user "ann" and returns the peer's events up to QUIT (or all of
    // them when the session ended earlier).
    std::vector<std::string> SendThrough(SmtpPeer& peer, const std::string& host,
                                         int expectConnect = 1,
                                         const std::string& lastEvent = "CMD QUIT") {
        EXPECT_EQ(smtp_.Connect(host), expectConnect);
        if (expectConnect == 1) {
            EXPECT_EQ(smtp_.SendMessage(SimpleMessage()), 0);
        }
        smtp_.Disconnect();
        return peer.EventsUntil(lastEvent, 1000);
    }

    void SetUp() override {
        smtp_.userName = "ann";
        smtp_.password = "pw";
        smtp_.timeoutSeconds = 10;
    }

    static inline std::unique_ptr<TestCertificates> certs_;
    static inline TestCertificates::Server otherHost_;
    static inline TestCertificates::Server expired_;
    ScopedEnvironment trust_{"SSL_CERT_FILE", certs_ ? certs_->ca : ""};
    RecordingSmtp smtp_;
};

TEST_F(SmtpTlsTest, StartTlsIsUsedAndTheLoginComesOnlyAfterIt) {
    SmtpPeer peer(TlsOptions(Good()));
    smtp::CSmtpMessage copy = SimpleMessage();
    std::string expected;
    copy.Compose(expected);
    auto events = SendThrough(peer, peer.host());
    EXPECT_TRUE(smtp_.log.empty()) << smtp_.log.front();
    EXPECT_THAT(CommandsAndTransport(events),
                ElementsAre("EHLO plain", "STARTTLS plain", "EHLO tls", "AUTH tls", "MAIL tls",
                            "RCPT tls", "DATA tls", "QUIT tls"));
    EXPECT_EQ(FindEvent(events, "LOGIN"), "LOGIN ok ann");
    ReceivedMail mail = ParseMessageEvent(FindEvent(events, "MESSAGE"));
    EXPECT_EQ(mail.content, expected + "\r\n");
    EXPECT_EQ(mail.options, "-");  // a 7-bit message says nothing about its body
}

TEST_F(SmtpTlsTest, TheAuthorityNamedByCurlCaBundleIsTrustedAsWell) {
    ScopedEnvironment certFile("SSL_CERT_FILE", std::nullopt);
    ScopedEnvironment curlBundle("CURL_CA_BUNDLE", certs_->ca);
    SmtpPeer peer(TlsOptions(Good()));
    auto events = SendThrough(peer, peer.host());
    EXPECT_TRUE(smtp_.log.empty()) << smtp_.log.front();
    EXPECT_EQ(FindEvent(events, "LOGIN"), "LOGIN ok ann");
}

TEST_F(SmtpTlsTest, ImplicitTlsFromTheFirstByteWithTheServerNameSent) {
    SmtpPeer peer(TlsOptions(Good(), "--implicit-tls"));
    std::string port = peer.host().substr(peer.host().find(':'));
    auto events = SendThrough(peer, "smtps://localhost" + port);
    EXPECT_TRUE(smtp_.log.empty()) << smtp_.log.front();
    EXPECT_EQ(FindEvent(events, "SNI"), "SNI localhost");
    EXPECT_THAT(CommandsAndTransport(events), ElementsAre("EHLO tls", "AUTH tls", "MAIL tls",
                                                          "RCPT tls", "DATA tls", "QUIT tls"));
    EXPECT_NE(FindEvent(events, "MESSAGE"), "");
}

TEST_F(SmtpTlsTest, CertificatesThatDoNotProveTheServerAreRefusedBeforeAnyLogin) {
    struct Case {
        TestCertificates::Server server;
        const char* mode;
        std::string why;
        bool trustTestCa;
    };
    const Case cases[] = {
        {otherHost_, "--starttls", "mismatch", true},
        {expired_, "--starttls", "certificate has expired", true},
        {Good(), "--starttls", "unable to get local issuer certificate", false},
        {expired_, "--implicit-tls", "certificate has expired", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        // Without SSL_CERT_FILE the system's authorities decide, and they do not know ours.
        std::unique_ptr<ScopedEnvironment> system;
        if (!c.trustTestCa)
            system = std::make_unique<ScopedEnvironment>("SSL_CERT_FILE", std::nullopt);
        SmtpPeer peer(TlsOptions(c.server, c.mode));
        smtp_.log.clear();
        std::string host =
            std::string(c.mode) == "--implicit-tls" ? "smtps://" + peer.host() : peer.host();
        bool startTls = std::string(c.mode) == "--starttls";
        // The session is over when Connect returns; an implicit-TLS peer has no command to show.
        auto events = SendThrough(peer, host, 0, startTls ? "CMD STARTTLS" : "no command");
        ASSERT_EQ(smtp_.log.size(), 1u);
        EXPECT_THAT(smtp_.log[0],
                    HasSubstr("SMTP error: Cannot make a secure (TLS) connection to 127.0.0.1: "));
        EXPECT_THAT(smtp_.log[0], HasSubstr(c.why));
        EXPECT_EQ(smtp_.lastCode(), -1);
        EXPECT_FALSE(smtp_.connected());
        std::vector<std::string> plain = Commands(events);
        if (startTls)
            EXPECT_THAT(plain, ElementsAre("EHLO", "STARTTLS"));
        else
            EXPECT_TRUE(plain.empty());
    }
}

TEST_F(SmtpTlsTest, PlainLoginWhenTheServerOffersOnlyPlain) {
    SmtpPeer peer({"--user", "ann", "--password", "pw", "--no-login"});
    auto events = SendThrough(peer, "smtp+insecure://" + peer.host());
    EXPECT_FALSE(smtp_.secure());  // no STARTTLS offered: served in plain as before
    EXPECT_FALSE(smtp_.offered().authLogin);
    EXPECT_EQ(FindEvent(events, "MECHANISM"), "MECHANISM PLAIN");
    EXPECT_EQ(FindEvent(events, "LOGIN"), "LOGIN ok ann");
    EXPECT_TRUE(smtp_.log.empty()) << smtp_.log.front();

    SmtpPeer refusing({"--user", "ann", "--password", "other", "--no-login"});
    smtp_.log.clear();
    SendThrough(refusing, "smtp+insecure://" + refusing.host());
    ASSERT_EQ(smtp_.log.size(), 2u);
    EXPECT_EQ(smtp_.log[0].rfind("SMTP message: 535", 0), 0u) << smtp_.log[0];
    EXPECT_EQ(smtp_.log[1].rfind("SMTP error: 535", 0), 0u) << smtp_.log[1];
}

// A server that offers STARTTLS and then refuses it with `answer`.
ScriptedServer::Script RefusesStartTls() {
    return SmtpDialogue([](const std::string& line) -> std::string {
        if (line.rfind("EHLO", 0) == 0) return "250-peer\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n";
        if (line == "STARTTLS") return "454 TLS not available now\r\n";
        if (line == "DATA") return "354 go on\r\n";
        if (line == "<message>") return "250 queued\r\n";
        if (line == "QUIT") return "221 bye\r\n";
        return "250 ok\r\n";
    });
}

TEST_F(SmtpTlsTest, ARefusedStartTlsNeverLetsCredentialsGoOutInPlain) {
    {
        ScriptedServer server(RefusesStartTls());
        EXPECT_EQ(smtp_.Connect(server.host()), 0);
        EXPECT_EQ(smtp_.lastCode(), 454);
        auto lines = server.Finish();
        EXPECT_EQ(CountStarting(lines, "AUTH"), 0);
        EXPECT_EQ(CountStarting(lines, "STARTTLS"), 1);
        EXPECT_THAT(smtp_.log, ElementsAre("SMTP error: 454 TLS not available now"));
    }
    // Without credentials there is nothing to protect: the mail goes in plain as before.
    ScriptedServer server(RefusesStartTls());
    RecordingSmtp anonymous;
    anonymous.userName = "";
    ASSERT_EQ(anonymous.Connect(server.host()), 1);
    EXPECT_EQ(anonymous.SendMessage(SimpleMessage()), 0);
    anonymous.Disconnect();
    EXPECT_EQ(CountStarting(server.Finish(), "MAIL FROM"), 1);
}

}  // namespace
}  // namespace wardlet::test
