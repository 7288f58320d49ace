// The properties dialog's FTP connection test without a window: the steps it reports, the
// temporary file it must not leave, and a stop from another thread.
#include <gtest/gtest.h>

#include <thread>

#include "engine_fixture.h"
#include "file_bytes.h"
#include "loopback_socket.h"
#include "monitor/engine/ftp_login_probe.h"

namespace wardlet::test {
namespace {

using Steps = std::vector<std::pair<FtpProbeStep, FtpStepState>>;

FtpProbeResult RunTest(const std::string& location, const std::filesystem::path& folder,
                       Steps& steps, const std::atomic<bool>& stop,
                       const TransferLimits& limits = QuickLimits(),
                       std::string* reason = nullptr) {
    FtpProbeRequest request;
    request.location = *SplitFtpProbeAddress(location);
    request.dataFolder = folder;
    return ProbeFtpLogin(request, limits, stop,
                         [&](FtpProbeStep step, FtpStepState state, const std::string& why) {
                             steps.emplace_back(step, state);
                             if (reason) *reason = why;
                         });
}

bool NoTempFiles(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().rfind("UVP", 0) == 0) return false;
    return true;
}

TEST(FtpLoginProbe, StepsInOrderAndNoTemporaryFileLeft) {
    TempDir root, data;
    std::filesystem::create_directories(root.path() / "pub");
    WriteBytes(root.path() / "pub" / "f.txt", std::string(100000, 'x'));
    WriteBytes(root.path() / "top.txt", "top");
    PeerProcess peer({Python(), TestFile("monitor/engine/ftp_peer.py"), root.path().string(),
                      "user", "password"});
    std::string host = "127.0.0.1:" + std::to_string(peer.port());
    std::atomic<bool> stop{false};

    Steps steps;
    EXPECT_EQ(RunTest(host + "/pub/f.txt", data.path(), steps, stop), FtpProbeResult::Succeeded);
    EXPECT_EQ(steps, (Steps{{FtpProbeStep::Connect, FtpStepState::Started},
                            {FtpProbeStep::Connect, FtpStepState::Succeeded},
                            {FtpProbeStep::ChangeDirectory, FtpStepState::Started},
                            {FtpProbeStep::ChangeDirectory, FtpStepState::Succeeded},
                            {FtpProbeStep::GetFile, FtpStepState::Started},
                            {FtpProbeStep::GetFile, FtpStepState::Succeeded}}));
    steps.clear();
    EXPECT_EQ(RunTest(host + "/top.txt", data.path(), steps, stop), FtpProbeResult::Succeeded);
    EXPECT_EQ(steps.size(), 4u);  // no directory to change to
    steps.clear();
    EXPECT_EQ(RunTest(host + "/pub/", data.path(), steps, stop), FtpProbeResult::GetFailed);
    steps.clear();
    std::string reason;
    EXPECT_EQ(RunTest(host + "/pub/gone.txt", data.path(), steps, stop, QuickLimits(), &reason),
              FtpProbeResult::GetFailed);
    EXPECT_EQ(steps.back(), std::make_pair(FtpProbeStep::GetFile, FtpStepState::Failed));
    EXPECT_EQ(reason.rfind("RETR pub/gone.txt: 550 ", 0), 0u) << reason;
    EXPECT_TRUE(NoTempFiles(data.path()));

    // ftps:// to a server without TLS: the test fails at its first step, with the refusal.
    steps.clear();
    EXPECT_EQ(
        RunTest("ftps://" + host + "/top.txt", data.path(), steps, stop, QuickLimits(), &reason),
        FtpProbeResult::ConnectFailed);
    EXPECT_EQ(steps.back(), std::make_pair(FtpProbeStep::Connect, FtpStepState::Failed));
    EXPECT_EQ(reason.rfind("AUTH TLS: 500 ", 0), 0u) << reason;
}

TEST(FtpLoginProbe, StopFromAnotherThreadEndsAWaitingTest) {
    TempDir data;
    SilentListener server;

    std::atomic<bool> stop{false};
    Steps steps;
    FtpProbeResult result = FtpProbeResult::Succeeded;
    std::thread test([&] {
        // The product's limits: only the stop can end it soon.
        result = RunTest("127.0.0.1:" + std::to_string(server.port()) + "/f", data.path(), steps,
                         stop, TransferLimits{});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    test.join();
    EXPECT_EQ(result, FtpProbeResult::Stopped);
    EXPECT_EQ(steps, (Steps{{FtpProbeStep::Connect, FtpStepState::Started}}));
}

}  // namespace
}  // namespace wardlet::test
