#include "monitor/model/options.h"

#include <gtest/gtest.h>

#include "file_bytes.h"
#include "temp_home.h"

namespace wardlet {
namespace {

using test::ReadBytes;
using test::WriteBytes;

std::string Le(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) {
        auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>(u >> (8 * i)));
    }
    return bytes;
}

class OptionsFileTest : public ::testing::Test {
protected:
    test::TempDataHome home;
    std::filesystem::path folder = home.makeDataFolder();
    std::filesystem::path file = folder / "Wardlet.option";
};

TEST_F(OptionsFileTest, FirstStartWritesTheDefaultBytes) {
    MonitorOptions options = LoadOptions(folder);
    EXPECT_EQ(ReadBytes(file), Le({1, 10, 1, 1, 0, 1, 1, 0, 1, 1, 2}));
    EXPECT_EQ(options.threadCount, 2);
    EXPECT_EQ(options.checkPeriodMinutes, 10);
    EXPECT_EQ(options.openPageOnChange, 0);
}

TEST_F(OptionsFileTest, ALinkedOptionsFileIsNotFollowed) {
    WriteBytes(home.home() / "elsewhere", Le({1, 10, 1, 1, 0, 1, 1, 0, 1, 1, 5}));
    std::filesystem::create_symlink(home.home() / "elsewhere", file);
    EXPECT_FALSE(ReadOptionsFile(folder));
    EXPECT_EQ(LoadOptions(folder).threadCount, 2);  // the defaults, written in the link's place
    EXPECT_FALSE(std::filesystem::is_symlink(file));
    EXPECT_EQ(ReadBytes(home.home() / "elsewhere"), Le({1, 10, 1, 1, 0, 1, 1, 0, 1, 1, 5}));
}

TEST_F(OptionsFileTest, EmptyFileGivesEveryFieldZeroAndOneThread) {
    WriteBytes(file, "");
    MonitorOptions options = LoadOptions(folder);
    for (const auto& field : kOptionFields)
        EXPECT_EQ(options.*field.member, 0) << field.name;
    EXPECT_EQ(CorrectThreadCount(options.threadCount), 1);
    EXPECT_EQ(options.threadCount, 1);
    EXPECT_EQ(ReadBytes(file), "") << "loading never rewrites an existing file";
}

TEST_F(OptionsFileTest, ShortFileKeepsItsBytesAndZerosTheRest) {
    WriteBytes(file, Le({1, 30}));
    MonitorOptions options = LoadOptions(folder);
    EXPECT_EQ(options.periodicCheck, 1);
    EXPECT_EQ(options.checkPeriodMinutes, 30);
    EXPECT_EQ(options.startupCheck, 0);
    EXPECT_EQ(options.threadCount, 0);
    EXPECT_EQ(PeriodicCheckInterval(options).count(), 30 * 60000);
}

TEST_F(OptionsFileTest, LongerFileContributesOnlyItsFirst44Bytes) {
    WriteBytes(file, Le({0, 5, 0, 0, 1, 0, 0, 1, 0, 0, 3, 77, 88}));
    MonitorOptions options = LoadOptions(folder);
    EXPECT_EQ(options.openPageOnChange, 1);
    EXPECT_EQ(options.sendEmail, 1);
    EXPECT_EQ(options.threadCount, 3);
}

TEST_F(OptionsFileTest, ThreadCountCorrectionStaysInMemoryUntilSaved) {
    WriteBytes(file, Le({1, 10, 1, 1, 0, 1, 1, 0, 1, 1, 7}));
    OptionsHolder holder(LoadOptions(folder));
    EXPECT_EQ(holder.CorrectedThreadCount(), 1);
    EXPECT_EQ(holder.Get().threadCount, 1);
    EXPECT_EQ(ReadBytes(file).substr(40), Le({7}));
    ASSERT_TRUE(SaveOptions(folder, holder.Get()));
    EXPECT_EQ(ReadBytes(file).substr(40), Le({1}));
}

TEST(ThreadCountTest, OnlyOneToFiveSurvive) {
    for (int32_t value : {0, 6, 9, -1, -2147483647 - 1}) {
        MonitorOptions options = DefaultOptions();
        options.threadCount = value;
        EXPECT_EQ(CorrectThreadCount(options.threadCount), 1) << value;
    }
    for (int32_t value = 1; value <= 5; ++value) {
        MonitorOptions options = DefaultOptions();
        options.threadCount = value;
        EXPECT_EQ(CorrectThreadCount(options.threadCount), value);
    }
}

TEST(PeriodTest, DamagedPeriodsFallBackToTenMinutes) {
    MonitorOptions options = DefaultOptions();
    for (int32_t minutes : {0, -5, -2147483647 - 1}) {
        options.checkPeriodMinutes = minutes;
        EXPECT_EQ(PeriodicCheckInterval(options).count(), 600000) << minutes;
    }
    options.checkPeriodMinutes = 600;
    EXPECT_EQ(PeriodicCheckInterval(options).count(), 36000000);
    options.checkPeriodMinutes = 2147483647;  // no 32-bit wrap-around
    EXPECT_EQ(PeriodicCheckInterval(options).count(), 2147483647LL * 60000);
}

TEST_F(OptionsFileTest, SaveRoundTripsEveryFieldAtItsOffset) {
    MonitorOptions options{};
    int32_t value = 100;
    for (const auto& field : kOptionFields)
        options.*field.member = value++;
    ASSERT_TRUE(SaveOptions(folder, options));
    std::string bytes = ReadBytes(file);
    ASSERT_EQ(bytes.size(), 44u);
    for (size_t i = 0; i < 11; ++i)
        EXPECT_EQ(bytes.substr(4 * i, 4), Le({100 + int(i)}));
    MonitorOptions back = LoadOptions(folder);
    for (const auto& field : kOptionFields)
        EXPECT_EQ(back.*field.member, options.*field.member);
}

}  // namespace
}  // namespace wardlet
