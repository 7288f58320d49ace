// wardctl history and diff, the program run as a child process over versions that its own
// check command kept.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>

#include "file_bytes.h"
#include "temp_home.h"
#include "wardctl_process.h"

namespace wardlet::test {
namespace {

// Time stamps vary from run to run: each becomes "T".
std::string WithoutTimes(const std::string& text) {
    static const std::regex stamp(R"(\d{4}/\d\d/\d\d \[\d\d:\d\d:\d\d\])");
    return std::regex_replace(text, stamp, "T");
}

struct WardctlHistory : ::testing::Test {
    TempDataHome home;
    TempDir files;
    std::filesystem::path watched = files.path() / "prices.txt";

    // The file takes `text` and a check finds it (a Changed document is not checked again
    // until the user has seen it).
    void Change(const std::string& text, int expectedStatus = 1) {
        WriteBytes(watched, text);
        ASSERT_EQ(RunWardctlProgram({"mark-checked", "Prices"}), 0);
        ASSERT_EQ(RunWardctlProgram({"check", "Prices"}), expectedStatus);
    }
    int Run(const std::vector<std::string>& args, std::string& out) {
        out.clear();
        int status = RunWardctlProgram(args, &out);
        out = WithoutTimes(out);
        return status;
    }
};

TEST_F(WardctlHistory, HistoryListsKeptVersionsNewestFirstAndDiffShowsEachChange) {
    WriteBytes(watched, "apples 2\npears 3\nplums 4\n");
    ASSERT_EQ(RunWardctlProgram({"add", "--type", "local-file", "--name", "Prices", "--location",
                                 watched.string()}),
              0);
    ASSERT_EQ(RunWardctlProgram({"check", "Prices"}), 0);
    std::string out;
    EXPECT_EQ(Run({"history", "Prices"}, out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(Run({"diff", "Prices"}, out), 1) << "nothing kept yet";

    Change("apples 2\npears 5\nplums 4\n");
    Change("apples 2\npears 5\nplums 4\ncherries 9\n");
    EXPECT_EQ(Run({"history", "Prices"}, out), 0);
    EXPECT_EQ(out, "1\tT\t25\n2\tT\t25\n");

    EXPECT_EQ(Run({"diff", "Prices"}, out), 0);
    EXPECT_EQ(out,
              "--- T version 1\n+++ T stored copy\n@@ -1,3 +1,4 @@\n apples 2\n pears 5\n"
              " plums 4\n+cherries 9\n");
    EXPECT_EQ(Run({"diff", "Prices", "--from", "2", "--color", "never"}, out), 0);
    EXPECT_EQ(out,
              "--- T version 2\n+++ T version 1\n@@ -1,3 +1,3 @@\n apples 2\n-pears 3\n"
              "+pears 5\n plums 4\n");
    EXPECT_EQ(Run({"diff", "Prices", "--from", "2", "--to", "0"}, out), 0);
    EXPECT_NE(out.find("-pears 3\n+pears 5\n plums 4\n+cherries 9\n"), std::string::npos);
    // Not a terminal: no color unless asked for.
    EXPECT_EQ(Run({"diff", "Prices", "--color", "always"}, out), 0);
    EXPECT_NE(out.find("\x1b[32m+cherries 9\x1b[0m\n"), std::string::npos) << out;

    // The same bytes under two versions (a change undone) show no difference.
    Change("apples 2\npears 5\nplums 4\n");
    EXPECT_EQ(Run({"diff", "Prices", "--from", "2", "--to", "0"}, out), 1);
    EXPECT_EQ(out, "");
}

TEST_F(WardctlHistory, UnknownNamesBadIndexesAndBinaryCopies) {
    std::string out;
    EXPECT_EQ(Run({"history", "Nobody"}, out), 66);
    EXPECT_EQ(Run({"diff", "Nobody"}, out), 66);
    EXPECT_EQ(Run({"diff"}, out), 64);
    EXPECT_EQ(Run({"diff", "X", "--color", "green"}, out), 64);
    EXPECT_EQ(Run({"diff", "X", "--from", "1", "--to", "2"}, out), 64);

    WriteBytes(watched, std::string("\x89PNG\0\0\0\x01", 8));
    ASSERT_EQ(RunWardctlProgram({"add", "--type", "local-file", "--name", "Prices", "--location",
                                 watched.string()}),
              0);
    ASSERT_EQ(RunWardctlProgram({"check", "Prices"}), 0);
    Change(std::string("\x89PNG\0\0\0\x02!", 9));
    EXPECT_EQ(Run({"diff", "Prices"}, out), 0);
    EXPECT_EQ(out,
              "Binary copies differ: T version 1: 8 bytes, T stored copy: 9 bytes, first "
              "difference at byte 7.\n");
    EXPECT_EQ(Run({"diff", "Prices", "--from", "5"}, out), 64);
}

}  // namespace
}  // namespace wardlet::test
