// wardctl check and mark-checked over a real data folder.
#include <gtest/gtest.h>

#include <sstream>

#include "common/data_lock.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/app/wardctl_commands.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

int Wardctl(std::vector<std::string> args, std::string* out = nullptr) {
    std::ostringstream o, e;
    int status = RunWardctl(args, o, e);
    if (out) *out = o.str();
    return status;
}

TEST(WardctlCheckTest, ExitStatusTellsWhatThePassFoundAndTheMonitorsLockIsRespected) {
    TempDataHome home;
    TempDir files;
    auto watched = (files.path() / "w").string();
    WriteBytes(watched, "one");
    ASSERT_EQ(Wardctl({"add", "--type", "local-file", "--name", "W", "--location", watched}), 0);
    std::string out;
    EXPECT_EQ(Wardctl({"check"}, &out), 0);
    EXPECT_EQ(out.substr(0, 8), "W\tReady\t");
    WriteBytes(watched, "two");
    EXPECT_EQ(Wardctl({"check", "W"}, &out), 1);
    EXPECT_EQ(out.substr(0, 13), "W\t** Changed\t");
    EXPECT_EQ(Wardctl({"check", "--all", "W"}), 64);
    EXPECT_EQ(Wardctl({"mark-checked", "nobody"}), 66);

    DataFolderLock monitor;
    ASSERT_TRUE(monitor.TryAcquire(home.dataFolder()));
    EXPECT_EQ(Wardctl({"mark-checked", "--all"}), 75);
    EXPECT_EQ(Wardctl({"check"}), 75);
    monitor.Release();
    EXPECT_EQ(Wardctl({"mark-checked", "--all"}), 0);
    std::filesystem::remove(watched);
    EXPECT_EQ(Wardctl({"check"}, &out), 2);
    EXPECT_NE(out.find("W\t** Unable to retrieve\t"), std::string::npos);
}

TEST(WardctlCheckTest, ARecordLeftRetrievingIsCheckedByTheNextCheckAll) {
    TempDataHome home;
    TempDir files;
    auto watched = (files.path() / "r").string();
    WriteBytes(watched, "content");
    ASSERT_EQ(Wardctl({"add", "--type", "local-file", "--name", "R", "--location", watched}), 0);
    // As a crash during a check could once leave it.
    auto dataFile = home.dataFolder() / "R.data";
    std::string bytes = ReadBytes(dataFile);
    bytes[2568] = 1;  // status Retrieving
    WriteBytes(dataFile, bytes);
    std::string out;
    EXPECT_EQ(Wardctl({"check", "--all"}, &out), 0);
    EXPECT_EQ(out.substr(0, 8), "R\tReady\t");
}

TEST(WardctlCheckTest, ConditionalRequestsFollowTheSettingOfTheDataFolder) {
    TempDataHome home;
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    HttpPeer peer;
    peer.SetPage("p", "tagged page", R"({"etag": "\"e1\""})");
    ASSERT_EQ(Wardctl({"add", "--type", "web-page", "--name", "P", "--location", peer.Url("p")}),
              0);
    EXPECT_EQ(Wardctl({"check", "--all"}), 0);
    EXPECT_EQ(Wardctl({"check", "--all"}), 0);
    EXPECT_EQ(Wardctl({"options", "set", "conditionalRequests", "0"}), 0);
    EXPECT_EQ(Wardctl({"check", "--all"}), 0);
    EXPECT_EQ(peer.TakeConditions(), (std::vector<std::string>{"-|-", "\"e1\"|-", "-|-"}));
}

}  // namespace
}  // namespace wardlet::test
