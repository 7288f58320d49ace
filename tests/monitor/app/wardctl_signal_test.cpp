// wardctl check ended by SIGTERM or SIGINT while a document is still being fetched: what it found
// is kept, as at the monitor's exit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "engine_fixture.h"
#include "file_bytes.h"
#include "wardctl_process.h"

namespace wardlet::test {
namespace {

TEST(WardctlSignalTest, ASignalAfterAChangeWasPrintedKeepsTheChange) {
    setenv("no_proxy", "127.0.0.1", 1);
    TempDataHome home;
    TempDir files;
    HttpPeer peer;
    peer.SetPage("slow", "never sent", R"({"mode": "silent"})");
    auto watched = (files.path() / "a").string();
    WriteBytes(watched, "one");
    ASSERT_EQ(
        RunWardctlProgram({"add", "--type", "local-file", "--name", "A", "--location", watched}),
        0);
    ASSERT_EQ(RunWardctlProgram({"check", "A"}), 0);
    ASSERT_EQ(RunWardctlProgram(
                  {"add", "--type", "web-page", "--name", "B", "--location", peer.Url("slow")}),
              0);

    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        ASSERT_EQ(RunWardctlProgram({"mark-checked", "--all"}), 0);
        WriteBytes(watched, "changed by " + std::to_string(signal));
        WardctlProcess check({"check", "--all"});
        std::string line;
        while (!(line = check.ReadLine()).empty() && line.rfind("A\t", 0) != 0) {
        }
        ASSERT_EQ(line.substr(0, 13), "A\t** Changed\t");
        check.Signal(signal);  // B is still waiting for its silent server
        auto status = check.Wait();
        ASSERT_TRUE(status);
        ASSERT_TRUE(WIFEXITED(*status)) << "killed by the signal before saving";
        EXPECT_EQ(WEXITSTATUS(*status), 128 + signal);

        std::string list;
        ASSERT_EQ(RunWardctlProgram({"list"}, &list), 0);
        EXPECT_NE(list.find("A\tLocal File\t** Changed\t"), std::string::npos) << list;
        EXPECT_NE(list.find("B\tWeb Page\tWaiting to retrieve...\t"), std::string::npos) << list;
    }
}

}  // namespace
}  // namespace wardlet::test
