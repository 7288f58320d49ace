// HTTPS with a certificate authority made for the test, and FTP in active mode against pyftpdlib.
#include <cstdlib>

#include "common/little_endian.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "test_certificates.h"

namespace wardlet::test {
namespace {

using Status = DocumentStatus;

class HttpsCheckTest : public EngineTest {};

TEST_F(HttpsCheckTest, VerifiesAgainstTheBundleCurlUsersSupplyAndRefusesOtherwise) {
    TestCertificates certs;
    HttpPeer peer(certs.cert, certs.key);
    peer.SetPage("s", "over tls", R"({"auth": "user:pa:ss"})");
    size_t i =
        AddDocument(DocumentType::WebPage, "s", peer.Url("s", "https"), [](DocumentRecord& r) {
            r.useAccount = 1;
            SetFieldText(r.userName, "user");
            SetFieldText(r.password, "pa:ss");
        });
    // The system's authorities do not know the test CA: refused and announced.
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(observer_.Calls().front(), "sound 3");
    EXPECT_FALSE(HasContent("s"));

    const char* old = std::getenv("CURL_CA_BUNDLE");
    std::string saved = old ? old : "";
    setenv("CURL_CA_BUNDLE", certs.ca.c_str(), 1);
    TransferLimits limits = TransferLimits::FromEnvironment();
    old ? setenv("CURL_CA_BUNDLE", saved.c_str(), 1) : unsetenv("CURL_CA_BUNDLE");
    limits.connectTimeoutSeconds = 2;
    limits.lowSpeedSeconds = 2;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("s"), "over tls");
}

TEST_F(HttpsCheckTest, TrustsTheAuthorityNamedBySslCertFileAsWell) {
    TestCertificates certs;
    HttpPeer peer(certs.cert, certs.key);
    peer.SetPage("c", "company page");
    size_t i = AddDocument(DocumentType::WebPage, "c", peer.Url("c", "https"));
    TransferLimits limits;
    {
        ScopedEnvironment curlBundle("CURL_CA_BUNDLE", std::nullopt);
        ScopedEnvironment certFile("SSL_CERT_FILE", certs.ca);
        limits = TransferLimits::FromEnvironment();
    }
    limits.connectTimeoutSeconds = 2;
    limits.lowSpeedSeconds = 2;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("c"), "company page");

    // A desktop that names the system bundle in CURL_CA_BUNDLE, and a company CA in
    // SSL_CERT_FILE as the manual says: the company's pages are trusted all the same.
    TestCertificates other;
    {
        ScopedEnvironment curlBundle("CURL_CA_BUNDLE", other.ca);
        ScopedEnvironment certFile("SSL_CERT_FILE", certs.ca);
        limits.caBundle.clear();
        limits.caCertificates = TransferLimits::FromEnvironment().caCertificates;
    }
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    peer.SetPage("c", "company page, edited");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    // A named file that cannot be read trusts nothing rather than less.
    ScopedEnvironment curlBundle("CURL_CA_BUNDLE", other.ca + ".missing");
    ScopedEnvironment certFile("SSL_CERT_FILE", certs.ca);
    EXPECT_EQ(TransferLimits::FromEnvironment().caBundle, other.ca + ".missing");
    EXPECT_TRUE(TransferLimits::FromEnvironment().caCertificates.empty());
}

TEST_F(HttpsCheckTest, ABundleReplacedOnDiskIsTrustedWithoutARestart) {
    TestCertificates certs;
    TestCertificates other;
    HttpPeer peer(certs.cert, certs.key);
    peer.SetPage("r", "renewed trust");
    size_t i = AddDocument(DocumentType::WebPage, "r", peer.Url("r", "https"));
    std::string bundle = (home_.home() / "bundle.pem").string();
    WriteBytes(bundle, ReadBytes(other.ca));
    TransferLimits limits = QuickLimits();
    limits.caBundle = bundle;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    // The administrator adds the company's authority; the same engine's next check sees it.
    WriteBytes(bundle, ReadBytes(other.ca) + ReadBytes(certs.ca));
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("r"), "renewed trust");
}

class FtpCheckTest : public EngineTest {
protected:
    FtpCheckTest()
        : peer_({Python(), TestFile("monitor/engine/ftp_peer.py"), root_.path().string(),
                 "ftp user", "p@ss:w/rd"}) {
        std::filesystem::create_directories(root_.path() / "pub" / "a");
    }
    std::string Host() const { return "127.0.0.1:" + std::to_string(peer_.port()); }
    std::string CwdLog() { return ReadBytes(root_.path() / "cwd.log"); }

    TempDir root_;
    PeerProcess peer_;
};

TEST_F(FtpCheckTest, AnonymousFetchWithAndWithoutADirectoryChange) {
    WriteBytes(root_.path() / "top.bin", std::string("top\0level", 9));
    WriteBytes(root_.path() / "pub" / "a" / "file.zip", "zipped");
    size_t top = AddDocument(DocumentType::FtpFile, "top", "ftp://" + Host() + "/top.bin");
    size_t deep = AddDocument(DocumentType::FtpFile, "deep", Host() + "/pub/a/file.zip");
    EXPECT_EQ(Check(top).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("top"), std::string("top\0level", 9));
    EXPECT_EQ(CwdLog(), "");
    EXPECT_EQ(Check(deep).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("deep"), "zipped");
    EXPECT_EQ(CwdLog(), "pub/a\n");  // one CWD with the whole directory

    EXPECT_EQ(Check(deep).status, int32_t(Status::Checked));
    WriteBytes(root_.path() / "pub" / "a" / "file.zip", "zip");  // cut short: still a change
    EXPECT_EQ(Check(deep).status, int32_t(Status::Changed));
    EXPECT_EQ(Content("deep"), "zip");
}

TEST_F(FtpCheckTest, AccountLogsInWithItsOwnNameAndPassword) {
    WriteBytes(root_.path() / "f.txt", "anonymous copy");
    WriteBytes(root_.path() / "home" / "f.txt", "account copy");
    auto account = [](const char* password) {
        return [password](DocumentRecord& r) {
            r.useAccount = 1;
            SetFieldText(r.userName, "ftp user");
            SetFieldText(r.password, password);
        };
    };
    size_t good =
        AddDocument(DocumentType::FtpFile, "good", Host() + "/f.txt", account("p@ss:w/rd"));
    size_t bad = AddDocument(DocumentType::FtpFile, "bad", Host() + "/f.txt", account("wrong"));
    EXPECT_EQ(Check(good).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("good"), "account copy");
    EXPECT_EQ(Check(bad).status, int32_t(Status::Unavailable));
    EXPECT_FALSE(HasContent("bad"));
}

TEST_F(FtpCheckTest, FileBeyondTheSizeLimitIsUnavailableAndKeepsTheCopy) {
    TransferLimits limits = QuickLimits();
    limits.maxDocumentBytes = 64 << 10;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    WriteBytes(root_.path() / "grow.bin", "small");
    size_t i = AddDocument(DocumentType::FtpFile, "grow", Host() + "/grow.bin");
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    WriteBytes(root_.path() / "grow.bin", std::string(1 << 20, 'g'));
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(Content("grow"), "small");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FtpCheckTest, LineBreaksInTheAccountNeverReachTheServer) {
    WriteBytes(root_.path() / "home" / "victim", "keep me");
    size_t i =
        AddDocument(DocumentType::FtpFile, "inject", Host() + "/victim", [](DocumentRecord& r) {
            r.useAccount = 1;
            SetFieldText(r.userName, "ftp user");
            SetFieldText(r.password, "p@ss:w/rd\r\nDELE victim");
        });
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(ReadBytes(root_.path() / "commands.log").find("DELE"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(root_.path() / "home" / "victim"));
    table_.Modify(i, [](DocumentRecord& r) { SetFieldText(r.userName, "ftp user\nDELE victim"); });
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(ReadBytes(root_.path() / "commands.log").find("DELE"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(root_.path() / "home" / "victim"));
}

TEST_F(FtpCheckTest, FailuresAndLocationsThatCannotBeSplit) {
    size_t hostOnly = AddDocument(DocumentType::FtpFile, "host", "ftp://" + Host());
    size_t missing = AddDocument(DocumentType::FtpFile, "missing", Host() + "/nothing.txt");
    size_t noDir = AddDocument(DocumentType::FtpFile, "nodir", Host() + "/no/such/f.txt");
    EXPECT_EQ(Check(hostOnly).status, int32_t(Status::Unavailable));
    EXPECT_EQ(observer_.Calls(), (std::vector<std::string>{"ended host ** Unable to retrieve"}));
    EXPECT_EQ(Check(missing).status, int32_t(Status::Unavailable));
    EXPECT_EQ(Check(noDir).status, int32_t(Status::Unavailable));
    EXPECT_EQ(observer_.Calls().front(), "sound 3");
    EXPECT_TRUE(TempFiles().empty());
}

}  // namespace
}  // namespace wardlet::test
