// The Wardpost executable started as the monitor starts it: a separate process with
// "/from_wardlet", on the offscreen platform. WARDLET_DEBUG mirrors its log lines on stderr.
#include <gtest/gtest.h>

#include "common/mail_queue.h"
#include "file_bytes.h"
#include "mailer_fixture.h"
#include "program_run.h"
#include "smtp_peer.h"

namespace wardlet::test {
namespace {

constexpr char kLogPrefix[] = "wardlet: Wardpost: ";

class WardpostProgramTest : public ::testing::Test {
protected:
    std::unique_ptr<ProgramRun> Start(std::vector<std::string> arguments) {
        return std::make_unique<ProgramRun>(BuiltProgram("Wardpost"), arguments,
                                            std::vector<std::pair<std::string, std::string>>{
                                                {"XDG_DATA_HOME", home_.home().string()},
                                                {"WARDLET_DEBUG", "1"},
                                                {"QT_QPA_PLATFORM", "offscreen"}});
    }
    // The log lines until `last` (or the end of the output).
    static std::vector<std::string> LogUntil(ProgramRun& run, const std::string& last) {
        std::vector<std::string> lines;
        for (std::string line; !(line = run.ReadErrorLine()).empty();) {
            if (line.rfind(kLogPrefix, 0) != 0) continue;
            lines.push_back(line.substr(sizeof kLogPrefix - 1));
            if (lines.back().rfind(last, 0) == 0) break;
        }
        return lines;
    }

    TempDataHome home_;
    std::filesystem::path folder_ = home_.makeDataFolder();
};

TEST_F(WardpostProgramTest, SendsTheQueueAndEndsByItself) {
    SmtpPeer peer;
    WriteSettings(folder_, {peer.host()});
    QueueEntry(folder_, "Price list");
    auto run = Start({"/from_wardlet"});
    auto lines = LogUntil(*run, "Done - ");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Email configuration file read OK.");
    EXPECT_EQ(lines[1], "Connecting to " + peer.host() + "...");
    EXPECT_EQ(lines[2], "Sending email...");
    EXPECT_TRUE(MatchesDoneLine(lines[3])) << lines[3];
    EXPECT_EQ(run->WaitForExit(20000), 0);
    EXPECT_FALSE(peer.EventsUntil("MESSAGE").empty());
    EXPECT_FALSE(std::filesystem::exists(folder_ / kMailQueueFile));
}

TEST_F(WardpostProgramTest, AFailedConnectionKeepsTheQueue) {
    WriteSettings(folder_, {ClosedServer()});
    QueueEntry(folder_, "Price list");
    std::string queued = ReadBytes(folder_ / kMailQueueFile);
    auto run = Start({"/from_wardlet"});
    auto lines = LogUntil(*run, "Connection failed.");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "Connection failed.");
    EXPECT_EQ(run->WaitForExit(20000), 0);
    EXPECT_EQ(ReadBytes(folder_ / kMailQueueFile), queued);
}

TEST_F(WardpostProgramTest, AShortConfigurationLeavesTheWindowOpenAndTheFilesInPlace) {
    auto bytes = ToBytes(MakeConfig({ClosedServer()}));
    WriteBytes(folder_ / kMailConfigFile, std::string(bytes.begin(), bytes.end() - 1));
    WriteBytes(folder_ / kMailConfigTestFile, std::string(bytes.begin(), bytes.end() - 1));
    QueueEntry(folder_, "Waiting");
    std::string queued = ReadBytes(folder_ / kMailQueueFile);
    for (auto arguments : {std::vector<std::string>{"/from_wardlet"},
                           std::vector<std::string>{"/test", "/from_wardlet"}}) {
        auto run = Start(arguments);
        auto lines = LogUntil(*run, "Cannot read");
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], "Cannot read email configuration data from file.");
        EXPECT_FALSE(run->WaitForExit(1500));  // the window waits for the user
    }
    EXPECT_EQ(ReadBytes(folder_ / kMailQueueFile), queued);
    EXPECT_TRUE(std::filesystem::exists(folder_ / kMailConfigTestFile));
}

}  // namespace
}  // namespace wardlet::test
