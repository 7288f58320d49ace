// FTP over TLS, the passive retry and the reasons of failed transfers, against pyftpdlib in the
// modes of ftp_peer.py.
#include "common/little_endian.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/engine/transfer.h"
#include "test_certificates.h"

namespace wardlet::test {
namespace {

using Status = DocumentStatus;

class FtpPeerTest : public EngineTest {
protected:
    FtpPeerTest() {
        std::filesystem::create_directories(root_.path() / "home");
        WriteBytes(root_.path() / "home" / "f.txt", "account copy");
        WriteBytes(root_.path() / "f.txt", "anonymous copy");
        // The test authority is trusted as a user's own would be, through the environment.
        ScopedEnvironment bundle("CURL_CA_BUNDLE", certs_.ca);
        limits_ = TransferLimits::FromEnvironment();
        // No case here waits for a time-out; a TLS handshake on a loaded machine may be slow.
        limits_.connectTimeoutSeconds = 10;
        limits_.lowSpeedSeconds = 10;
        engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits_);
    }
    void Start(const std::string& mode) {
        peer_ = std::make_unique<PeerProcess>(std::vector<std::string>{
            Python(), TestFile("monitor/engine/ftp_peer.py"), root_.path().string(), "ann", "pw",
            mode, certs_.cert, certs_.key});
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(peer_->port()); }
    std::string Commands() {
        auto log = root_.path() / "commands.log";
        return std::filesystem::exists(log) ? ReadBytes(log) : "";
    }
    size_t AddAccountDocument(const std::string& name, const std::string& location) {
        return AddDocument(DocumentType::FtpFile, name, location, [](DocumentRecord& r) {
            r.useAccount = 1;
            SetFieldText(r.userName, "ann");
            SetFieldText(r.password, "pw");
        });
    }
    // A transfer made directly, for the reason it gives.
    std::string ReasonOf(const std::string& location, bool account = true) {
        TransferRequest request = FtpRequest(*SplitFtpLocation(location));
        request.useAccount = account;
        request.userName = "ann";
        request.password = "pw";
        std::string reason;
        std::atomic<bool> stop{false};
        auto outcome = Transfer(
            request, [](const char*, size_t) { return true; }, limits_, stop, &reason);
        EXPECT_EQ(outcome, TransferOutcome::Failed);
        return reason;
    }

    TestCertificates certs_;
    TempDir root_;
    TransferLimits limits_;
    std::unique_ptr<PeerProcess> peer_;
};

TEST_F(FtpPeerTest, FtpsLogsInOnlyAfterTlsAndProtectsTheData) {
    Start("tls-required");
    size_t tls = AddAccountDocument("tls", "ftps://" + Host() + "/f.txt");
    EXPECT_EQ(Check(tls).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("tls"), "account copy");
    std::string commands = Commands();
    ASSERT_NE(commands.find("USER"), std::string::npos);
    EXPECT_EQ(commands.rfind("AUTH\n", commands.find("USER")), 0u);  // the very first command
    EXPECT_NE(commands.find("PBSZ\nPROT\n"), std::string::npos);
    EXPECT_EQ(Check(tls).status, int32_t(Status::Checked));

    // The same server through plain ftp://: refused before any file, and the reason is the
    // server's own reply to the step that failed.
    size_t plain = AddAccountDocument("plain", "ftp://" + Host() + "/f.txt");
    EXPECT_EQ(Check(plain).status, int32_t(Status::Unavailable));
    EXPECT_FALSE(HasContent("plain"));
    std::string reason = ReasonOf("ftp://" + Host() + "/f.txt");
    EXPECT_EQ(reason.rfind("USER: 550 ", 0), 0u) << reason;
}

TEST_F(FtpPeerTest, FtpsToAServerWithoutTlsSendsNoUser) {
    Start("active");
    std::filesystem::remove(root_.path() / "commands.log");
    size_t i = AddAccountDocument("f", "FTPS://" + Host() + "/f.txt");
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(observer_.Calls().front(), "sound 3");
    EXPECT_FALSE(HasContent("f"));
    EXPECT_EQ(Commands().find("USER"), std::string::npos);
    EXPECT_EQ(Commands().find("PASS"), std::string::npos);
    std::string reason = ReasonOf("ftps://" + Host() + "/f.txt");
    EXPECT_EQ(reason.rfind("AUTH TLS: 5", 0), 0u) << reason;
}

TEST_F(FtpPeerTest, FtpsVerifiesTheCertificateAsForWebPages) {
    Start("tls-offered");
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, QuickLimits());
    size_t i = AddAccountDocument("f", "ftps://" + Host() + "/f.txt");
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));  // the system does not know the CA
    EXPECT_EQ(Commands().find("USER"), std::string::npos);
    // A server that only offers TLS still serves plain ftp:// as before.
    size_t plain = AddDocument(DocumentType::FtpFile, "plain", Host() + "/f.txt");
    EXPECT_EQ(Check(plain).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("plain"), "anonymous copy");
}

TEST_F(FtpPeerTest, ActiveRefusedOrUnreachableRetriesPassiveInTheSameCheck) {
    for (const char* mode : {"passive", "unreachable"}) {
        SCOPED_TRACE(mode);
        Start(mode);
        std::filesystem::remove(root_.path() / "commands.log");
        std::string name = std::string("doc-") + mode;
        size_t i = AddDocument(DocumentType::FtpFile, name, Host() + "/f.txt");
        EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
        EXPECT_EQ(Content(name), "anonymous copy");
        std::string commands = Commands();
        size_t active = commands.find_first_of("EP") == std::string::npos
                            ? std::string::npos
                            : std::min(commands.find("EPRT"), commands.find("PORT"));
        ASSERT_NE(active, std::string::npos) << commands;  // active was tried first
        EXPECT_GT(commands.find("EPSV"), active) << commands;
        WriteBytes(root_.path() / "f.txt", "anonymous copy, edited");
        EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
        WriteBytes(root_.path() / "f.txt", "anonymous copy");
    }
}

TEST_F(FtpPeerTest, AMissingFileGivesTheServersReply) {
    Start("active");
    std::filesystem::create_directories(root_.path() / "pub");
    std::string reason = ReasonOf(Host() + "/pub/x.zip", false);
    EXPECT_EQ(reason.rfind("RETR pub/x.zip: 550 ", 0), 0u) << reason;
    EXPECT_EQ(reason.find("inet_ntop"), std::string::npos);
    // A wrong password: the reply to PASS, without the password.
    TransferRequest request = FtpRequest(*SplitFtpLocation(Host() + "/f.txt"));
    request.useAccount = true;
    request.userName = "ann";
    request.password = "wrong-secret";
    std::string refused;
    std::atomic<bool> stop{false};
    EXPECT_EQ(Transfer(
                  request, [](const char*, size_t) { return true; }, limits_, stop, &refused),
              TransferOutcome::Failed);
    EXPECT_EQ(refused.rfind("PASS: 530 ", 0), 0u) << refused;
    EXPECT_EQ(refused.find("wrong-secret"), std::string::npos);
}

}  // namespace
}  // namespace wardlet::test
