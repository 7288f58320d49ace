#include <gtest/gtest.h>

#include <sstream>

#include "common/data_lock.h"
#include "file_bytes.h"
#include "monitor/app/wardctl_commands.h"
#include "monitor/model/feature_settings.h"
#include "temp_home.h"

namespace wardlet {
namespace {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

Outcome Wardctl(std::vector<std::string> args) {
    std::ostringstream out, err;
    int status = RunWardctl(args, out, err);
    return {status, out.str(), err.str()};
}

class WardctlTest : public ::testing::Test {
protected:
    test::TempDataHome home;
    std::filesystem::path folder = home.dataFolder();
};

TEST_F(WardctlTest, AddedDocumentsAreListedWithTheirColumns) {
    EXPECT_EQ(Wardctl({"list"}).out, "");
    ASSERT_EQ(Wardctl({"add", "--type", "web-page", "--name", "Prices", "--location",
                       "HTTPS://example.com/p", "--count", "EUR"})
                  .status,
              0);
    ASSERT_EQ(
        Wardctl({"add", "--type", "local-file", "--name", "Log", "--location", "/var/log/syslog"})
            .status,
        0);
    Outcome list = Wardctl({"list"});
    EXPECT_EQ(list.status, 0);
    // Both are waiting for their first check and have never been checked.
    EXPECT_NE(list.out.find("Prices\tWeb Page\tWaiting to retrieve...\t?\n"), std::string::npos);
    EXPECT_NE(list.out.find("Log\tLocal File\tWaiting to retrieve...\t?\n"), std::string::npos);

    Outcome show = Wardctl({"show", "Prices"});
    EXPECT_NE(show.out.find("location: https://example.com/p\n"), std::string::npos);
    EXPECT_NE(show.out.find("useCount: 1\n"), std::string::npos);
    EXPECT_NE(show.out.find("countString: EUR\n"), std::string::npos);
    EXPECT_NE(show.out.find("status: 4 (Waiting to retrieve...)\n"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(folder / "Prices.data").size(), 4632u);
}

TEST_F(WardctlTest, ListComesBackInNameOrderWhateverOrderTheyWereAddedIn) {
    std::string expected;
    for (const char* name : {"Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot"})
        expected += std::string(name) + "\tLocal File\tWaiting to retrieve...\t?\n";
    for (const char* name : {"Foxtrot", "Charlie", "Alpha", "Echo", "Bravo", "Delta"})
        ASSERT_EQ(
            Wardctl({"add", "--type", "local-file", "--name", name, "--location", "/tmp/x"}).status,
            0);
    EXPECT_EQ(Wardctl({"list"}).out, expected);
}

TEST_F(WardctlTest, AccountIsShownPlainButStoredScrambled) {
    ASSERT_EQ(Wardctl({"add", "--type", "ftp-file", "--name", "Files", "--location",
                       "ftp://host/pub/a.zip", "--user", "anna", "--password", "s3cret"})
                  .status,
              0);
    Outcome show = Wardctl({"show", "Files"});
    EXPECT_NE(show.out.find("userName: anna\n"), std::string::npos);
    EXPECT_NE(show.out.find("password: s3cret\n"), std::string::npos);
    std::string bytes = test::ReadBytes(folder / "Files.data");
    EXPECT_EQ(bytes.find("s3cret"), std::string::npos);
    EXPECT_EQ(bytes[1544], 6);  // length byte of the stored password
    EXPECT_EQ(bytes[1545], 't');
    EXPECT_EQ(test::FileMode(folder / "Files.data"), 0600u);
}

TEST_F(WardctlTest, EditorRefusalsUseTheEditorsMessages) {
    Outcome noName = Wardctl({"add", "--type", "web-file", "--location", "x.org/f.zip"});
    EXPECT_EQ(noName.status, kExitRefused);
    EXPECT_EQ(noName.err, "wardctl: Please enter the document name.\n");

    Outcome badName =
        Wardctl({"add", "--type", "web-file", "--name", "a/b", "--location", "x.org/f.zip"});
    EXPECT_EQ(badName.status, kExitRefused);
    EXPECT_NE(badName.err.find("Invalid document name."), std::string::npos);

    ASSERT_EQ(
        Wardctl({"add", "--type", "web-file", "--name", "Zip", "--location", "x.org/z"}).status, 0);
    Outcome duplicate =
        Wardctl({"add", "--type", "web-file", "--name", "zIP", "--location", "x.org/y"});
    EXPECT_EQ(duplicate.err,
              "wardctl: Same document name already exist. Please use another name.\n");

    Outcome noPassword =
        Wardctl({"add", "--type", "web-page", "--name", "P", "--location", "x", "--user", "u"});
    EXPECT_EQ(noPassword.err, "wardctl: Please enter the password.\n");

    Outcome longUser = Wardctl({"add", "--type", "web-page", "--name", "P", "--location", "x",
                                "--user", std::string(128, 'u'), "--password", "p"});
    EXPECT_EQ(longUser.status, kExitRefused);
    EXPECT_EQ(longUser.err, "wardctl: The username can hold at most 127 characters.\n");

    for (std::string field : {"--user", "--password"}) {
        std::vector<std::string> args = {"add", "--type",     "ftp-file", "--name",
                                         "F",   "--location", "host/f",   "--user",
                                         "u",   "--password", "p"};
        args[field == "--user" ? 8 : 10] += "\r\nDELE victim";
        Outcome injected = Wardctl(args);
        EXPECT_EQ(injected.status, kExitRefused);
        EXPECT_EQ(injected.err,
                  "wardctl: The username and the password cannot contain line breaks.\n");
    }
    Outcome brokenLocation =
        Wardctl({"add", "--type", "web-page", "--name", "L", "--location", "x.org/\nHost: y"});
    EXPECT_EQ(brokenLocation.err, "wardctl: The location cannot contain line breaks.\n");

    Outcome emptyMiddle = Wardctl(
        {"add", "--type", "web-page", "--name", "M", "--location", "x", "--middle", "<b>", ""});
    EXPECT_EQ(emptyMiddle.err, "wardctl: Please enter the string.\n");
    EXPECT_EQ(Wardctl({"list"}).out, "Zip\tWeb File\tWaiting to retrieve...\t?\n");
}

TEST_F(WardctlTest, UsageErrorsExplainThemselves) {
    EXPECT_EQ(Wardctl({}).status, kExitUsage);
    EXPECT_EQ(Wardctl({"frobnicate"}).status, kExitUsage);
    EXPECT_EQ(Wardctl({"add", "--type", "gopher"}).status, kExitUsage);
    EXPECT_EQ(Wardctl({"add", "--name"}).status, kExitUsage);
    Outcome count = Wardctl(
        {"add", "--type", "local-file", "--name", "L", "--location", "/tmp/x", "--count", "a"});
    EXPECT_EQ(count.status, kExitUsage);
    EXPECT_NE(count.err.find("web pages only"), std::string::npos);
    Outcome help = Wardctl({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    EXPECT_EQ(Wardctl({"--version"}).out.rfind("wardctl (Wardlet) ", 0), 0u);
}

TEST_F(WardctlTest, RemoveDeletesFilesAndRefusesUnknownNamesWhole) {
    for (const char* name : {"One", "Two"})
        ASSERT_EQ(
            Wardctl({"add", "--type", "local-file", "--name", name, "--location", "/etc/hosts"})
                .status,
            0);
    test::WriteBytes(folder / "One.content", "copy");
    Outcome unknown = Wardctl({"remove", "One", "Three"});
    EXPECT_EQ(unknown.status, kExitNoDocument);
    EXPECT_TRUE(std::filesystem::exists(folder / "One.data")) << "nothing removed on refusal";

    EXPECT_EQ(Wardctl({"remove", "One"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(folder / "One.data"));
    EXPECT_FALSE(std::filesystem::exists(folder / "One.content"));
    EXPECT_EQ(Wardctl({"list"}).out, "Two\tLocal File\tWaiting to retrieve...\t?\n");
    EXPECT_EQ(Wardctl({"show", "One"}).status, kExitNoDocument);
}

TEST_F(WardctlTest, OptionsPrintAndSet) {
    Outcome shown = Wardctl({"options"});
    EXPECT_NE(shown.out.find("periodicCheck: 1\ncheckPeriodMinutes: 10\n"), std::string::npos);
    EXPECT_NE(shown.out.find("threadCount: 2\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "Wardlet.option")) << "printing writes nothing";

    EXPECT_EQ(Wardctl({"options", "set", "threadCount", "4"}).status, 0);
    std::string bytes = test::ReadBytes(folder / "Wardlet.option");
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(bytes.substr(40), std::string("\x04\0\0\0", 4));
    EXPECT_EQ(bytes.substr(4, 4), std::string("\x0a\0\0\0", 4)) << "other fields keep defaults";

    EXPECT_EQ(Wardctl({"options", "set", "threadCount", "9"}).status, kExitRefused);
    EXPECT_EQ(Wardctl({"options", "set", "sendEmail", "2"}).status, kExitRefused);
    EXPECT_EQ(Wardctl({"options", "set", "sendEmail", "x"}).status, kExitUsage);
    EXPECT_EQ(Wardctl({"options", "set", "colour", "1"}).status, kExitUsage);
    EXPECT_NE(Wardctl({"options"}).out.find("threadCount: 4\n"), std::string::npos);

    // The switch of conditional requests lives in Wardlet.settings, the 44 bytes stay.
    EXPECT_NE(Wardctl({"options"}).out.find("conditionalRequests: 1\n"), std::string::npos);
    EXPECT_EQ(Wardctl({"options", "set", "conditionalRequests", "0"}).status, 0);
    EXPECT_EQ(test::ReadBytes(folder / "Wardlet.option"), bytes);
    EXPECT_FALSE(LoadFeatureSettings(folder).conditionalRequests);
    EXPECT_NE(Wardctl({"options"}).out.find("conditionalRequests: 0\n"), std::string::npos);
    EXPECT_EQ(Wardctl({"options", "set", "conditionalRequests", "2"}).status, kExitRefused);
}

TEST_F(WardctlTest, AWritingCommandClearsWhatAKilledRunLeftBehind) {
    std::filesystem::create_directories(folder);
    const std::vector<std::string> strays = {"UVP1A2B.tmp", "Doc.data.0a1b2c.tmp",
                                             "Wardlet.option.00ff00.tmp"};
    for (const auto& name : strays)
        test::WriteBytes(folder / name, "left by a kill");
    test::WriteBytes(folder / "Wardlet.mail.tmp", "the mailer may be reading it");
    EXPECT_EQ(Wardctl({"list"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(folder / strays[0])) << "reading holds no lock";
    EXPECT_EQ(Wardctl({"options", "set", "threadCount", "3"}).status, 0);
    for (const auto& name : strays)
        EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
    EXPECT_TRUE(std::filesystem::exists(folder / "Wardlet.mail.tmp"));
}

TEST_F(WardctlTest, WritingCommandsWaitForTheMonitorToLetGo) {
    std::filesystem::create_directories(folder);
    DataFolderLock monitor;
    ASSERT_TRUE(monitor.TryAcquire(folder));
    Outcome add = Wardctl({"add", "--type", "web-page", "--name", "A", "--location", "a.org"});
    EXPECT_EQ(add.status, kExitFolderInUse);
    EXPECT_NE(add.err.find("in use"), std::string::npos);
    EXPECT_EQ(Wardctl({"options", "set", "threadCount", "3"}).status, kExitFolderInUse);
    EXPECT_EQ(Wardctl({"list"}).status, 0) << "reading needs no lock";
    EXPECT_FALSE(std::filesystem::exists(folder / "A.data"));

    monitor.Release();
    EXPECT_EQ(Wardctl({"add", "--type", "web-page", "--name", "A", "--location", "a.org"}).status,
              0);
}

}  // namespace
}  // namespace wardlet
