#include "common/folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "common/data_lock.h"
#include "common/time_stamp.h"
#include "file_bytes.h"
#include "temp_home.h"
#include "time_stamp_shape.h"

namespace wardlet {
namespace {

using test::FileMode;
using test::TempDataHome;

TEST(DataFolders, MonitorCreatesPrivateFolderAndMailerNeverCreatesIt) {
    TempDataHome home;
    EXPECT_EQ(MailerDataFolder(), home.dataFolder());
    EXPECT_FALSE(std::filesystem::exists(home.dataFolder()));

    mode_t old = umask(0);
    auto folder = MonitorDataFolder();
    umask(old);
    EXPECT_EQ(folder, home.dataFolder());
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(FileMode(folder), 0700u);
    // A second start finds it as it is.
    EXPECT_EQ(MonitorDataFolder(), folder);
}

TEST(DataFolders, EveryFolderTheMonitorMakesIsPrivateWhateverTheUmask) {
    TempDataHome home;
    auto xdg = home.home() / "made" / "share";
    setenv("XDG_DATA_HOME", xdg.c_str(), 1);  // the home's destructor puts the old value back
    std::filesystem::create_directory(home.home() / "made");
    std::filesystem::permissions(home.home() / "made", std::filesystem::perms::all);
    mode_t old = umask(0);
    auto folder = MonitorDataFolder();
    umask(old);
    EXPECT_EQ(folder, xdg / "Calvorne" / "Wardlet");
    for (const auto& made : {xdg, xdg / "Calvorne", folder})
        EXPECT_EQ(FileMode(made), 0700u) << made;
    EXPECT_EQ(FileMode(home.home() / "made"), 0777u) << "an existing folder is left alone";
}

TEST(TimeStamp, FourDigitYearAndTwoDigitFields) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 0;
    EXPECT_EQ(FormatTimeStamp(t), "2026/03/07 [09:05:00]");

    std::time_t before = std::time(nullptr);
    std::string now = MakeTimeStamp();
    std::time_t after = std::time(nullptr);
    EXPECT_TRUE(test::IsTimeStamp(now)) << now;
    std::tm a{}, b{};
    localtime_r(&before, &a);
    localtime_r(&after, &b);
    EXPECT_TRUE(now == FormatTimeStamp(a) || now == FormatTimeStamp(b)) << now;
}

TEST(DataFolderLock, SecondLockFailsWhileFirstIsHeld) {
    TempDataHome home;
    auto folder = home.makeDataFolder();
    DataFolderLock first, second;
    ASSERT_TRUE(first.TryAcquire(folder)) << first.error();
    EXPECT_TRUE(first.held());
    EXPECT_FALSE(second.TryAcquire(folder));
    EXPECT_FALSE(second.held());
    EXPECT_NE(second.error().find("in use by another Wardlet program"), std::string::npos)
        << second.error();
    first.Release();
    EXPECT_TRUE(second.TryAcquire(folder)) << second.error();
    EXPECT_TRUE(second.error().empty());

    DataFolderLock missing;
    EXPECT_FALSE(missing.TryAcquire(folder / "absent"));
    EXPECT_NE(missing.error().find("Cannot open the lock file"), std::string::npos);
}

}  // namespace
}  // namespace wardlet
