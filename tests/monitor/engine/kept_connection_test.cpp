// Connections kept between checks and shared by the check threads, against loopback peers that
// count what they accept and close kept connections on their own.
#include <unistd.h>

#include <set>
#include <sstream>

#include "common/little_endian.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "test_certificates.h"

namespace wardlet::test {
namespace {

using Status = DocumentStatus;

class KeptConnectionTest : public EngineTest {
protected:
    // Every listed document Waiting, one pass of the configured threads, waited for.
    void Pass() {
        engine_->QueueAllForCheck();
        ASSERT_TRUE(engine_->WaitIdle(std::chrono::seconds(60)));
        store_.FlushPendingWrites();
    }
    std::vector<Status> Statuses(const std::vector<size_t>& indexes) {
        std::vector<Status> statuses;
        for (size_t i : indexes)
            statuses.push_back(StatusOf(i));
        return statuses;
    }
};

TEST_F(KeptConnectionTest, PassesOpenAtMostOneConnectionPerThreadAndHost) {
    HttpPeer first, second;
    settings_.SetThreadCount(3);
    std::vector<size_t> pages;
    for (int n = 0; n < 12; ++n) {
        HttpPeer& peer = n % 2 ? second : first;
        std::string name = "p" + std::to_string(n);
        peer.SetPage(name, "page " + name);
        pages.push_back(AddDocument(DocumentType::WebPage, name, peer.Url(name)));
    }
    Pass();
    EXPECT_EQ(Statuses(pages), std::vector<Status>(pages.size(), Status::Ready));
    EXPECT_LE(first.Connections(), 3u);
    EXPECT_LE(second.Connections(), 3u);

    // The threads of the next pass take the connections the last one left idle.
    Pass();
    EXPECT_EQ(Statuses(pages), std::vector<Status>(pages.size(), Status::Checked));
    EXPECT_LE(first.Connections(), 3u);
    EXPECT_LE(second.Connections(), 3u);
    EXPECT_EQ(first.Hits("p0") + second.Hits("p1"), 4u);
}

TEST_F(KeptConnectionTest, AKeptConnectionTheServerClosedIsNoFalseUnavailable) {
    HttpPeer peer;
    // One server closes after each answer without saying so; the other takes the next request on
    // a kept connection and closes it unanswered, the race of an idle time-out.
    peer.SetPage("quiet", "closed after each answer", R"({"mode": "close-after"})");
    peer.SetPage("dropped", "dropped when reused", R"({"mode": "drop-kept"})");
    peer.SetPage("plain", "a page kept alive");
    std::vector<size_t> pages = {
        AddDocument(DocumentType::WebPage, "quiet", peer.Url("quiet")),
        AddDocument(DocumentType::WebPage, "dropped", peer.Url("dropped")),
        AddDocument(DocumentType::WebFile, "plain", peer.Url("plain")),
    };
    for (size_t i : pages)
        EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    for (int round = 0; round < 3; ++round)
        for (size_t i : pages)
            EXPECT_EQ(Check(i).status, int32_t(Status::Checked)) << round << " " << i;
    EXPECT_EQ(Content("dropped"), "dropped when reused");
    EXPECT_TRUE(TempFiles().empty());
    for (const auto& call : observer_.Calls())
        EXPECT_EQ(call.find("sound"), std::string::npos) << call;  // nothing was announced
}

TEST_F(KeptConnectionTest, NothingOfOneDocumentsRequestReachesTheNextOnTheSameConnection) {
    HttpPeer peer;
    peer.SetPage("private", "for the account", R"({"auth": "user:secret"})");
    peer.SetPage("tagged", "tagged page", R"({"etag": "\"t1\""})");
    peer.SetPage("public", "for anybody");
    size_t priv =
        AddDocument(DocumentType::WebPage, "private", peer.Url("private"), [](DocumentRecord& r) {
            r.useAccount = 1;
            SetFieldText(r.userName, "user");
            SetFieldText(r.password, "secret");
        });
    size_t tagged = AddDocument(DocumentType::WebPage, "tagged", peer.Url("tagged"));
    size_t pub = AddDocument(DocumentType::WebPage, "public", peer.Url("public"));
    for (size_t i : {priv, tagged, pub})
        EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    peer.TakeConditions();
    EXPECT_EQ(Check(tagged).status, int32_t(Status::Checked));
    EXPECT_EQ(Check(pub).status, int32_t(Status::Checked));
    // The validators of one page went with its request only.
    EXPECT_EQ(peer.TakeConditions(), (std::vector<std::string>{"\"t1\"|-", "-|-"}));
    // The account of the first document is not offered for the next, on the same connection:
    // the protected page asked without it is refused.
    DocumentRecord noAccount = table_.Get(pub);
    SetFieldText(noAccount.location, peer.Url("private"));
    table_.Modify(pub, [&](DocumentRecord& r) { r = noAccount; });
    EXPECT_EQ(Check(priv).status, int32_t(Status::Checked));
    EXPECT_EQ(Check(pub).status, int32_t(Status::Unavailable));
    EXPECT_EQ(peer.Connections(), 1u);
}

// nginx where it is installed; the test is skipped where it is not.
std::string NginxProgram() {
    for (const char* path : {"/usr/sbin/nginx", "/usr/bin/nginx"})
        if (access(path, X_OK) == 0) return path;
    return "";
}

TEST_F(KeptConnectionTest, OverHttp2TheThreadsShareFewConnectionsToOneServer) {
    std::string nginx = NginxProgram();
    if (nginx.empty()) GTEST_SKIP() << "nginx is not installed";
    TestCertificates certs;
    TempDir root;
    PeerProcess server({Python(), TestFile("monitor/engine/nginx_peer.py"), nginx,
                        root.path().string(), certs.cert, certs.key});
    ScopedEnvironment authority("CURL_CA_BUNDLE", certs.ca);
    TransferLimits limits = QuickLimits();
    limits.caBundle = certs.ca;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    settings_.SetThreadCount(4);
    std::vector<size_t> pages;
    for (int n = 0; n < 20; ++n) {
        std::string name = "h" + std::to_string(n);
        WriteBytes(root.path() / "www" / name, "page " + name);
        pages.push_back(
            AddDocument(DocumentType::WebPage, name,
                        "https://127.0.0.1:" + std::to_string(server.port()) + "/" + name));
    }
    Pass();
    Pass();
    EXPECT_EQ(Statuses(pages), std::vector<Status>(pages.size(), Status::Checked));
    EXPECT_EQ(Content("h7"), "page h7");
    // Each line: connection number, protocol, status.
    std::istringstream log(ReadBytes(root.path() / "access.log"));
    std::set<std::string> connections;
    size_t requests = 0;
    for (std::string connection, protocol, status; log >> connection >> protocol >> status;) {
        ++requests;
        connections.insert(connection);
        EXPECT_EQ(protocol, "HTTP/2.0");
    }
    EXPECT_GT(requests, 0u);
    EXPECT_LE(connections.size(), 4u);  // one a thread at most, for both passes
}

}  // namespace
}  // namespace wardlet::test
