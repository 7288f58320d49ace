#include "monitor/model/feature_settings.h"

#include <gtest/gtest.h>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_home.h"

namespace wardlet {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(FeatureSettings, MissingOrBrokenFilesGiveTheDefaults) {
    TempDir folder;
    EXPECT_EQ(LoadFeatureSettings(folder.path()), FeatureSettings{});
    for (const char* text : {"", "not json", "[1,2]", "{\"keptVersions\": "}) {
        WriteBytes(FeatureSettingsFile(folder.path()), text);
        EXPECT_EQ(LoadFeatureSettings(folder.path()), FeatureSettings{}) << text;
    }
}

TEST(FeatureSettings, WrongValuesFallBackOneByOne) {
    TempDir folder;
    WriteBytes(FeatureSettingsFile(folder.path()),
               R"({"keptVersions": -1, "keptVersionBytes": 4096,
                   "conditionalRequests": "no", "desktopNotifications": false,
                   "mailChanges": 0})");
    FeatureSettings settings = LoadFeatureSettings(folder.path());
    EXPECT_TRUE(settings.mailChanges) << "0 is no boolean";
    EXPECT_EQ(settings.keptVersions, 10);
    EXPECT_EQ(settings.keptVersionBytes, 4096);
    EXPECT_TRUE(settings.conditionalRequests);
    EXPECT_FALSE(settings.desktopNotifications);
}

TEST(FeatureSettings, SaveRoundTripsAndKeepsKeysItDoesNotKnow) {
    TempDir folder;
    WriteBytes(FeatureSettingsFile(folder.path()), R"({"fromANewerBuild": [1, "two"]})");
    FeatureSettings settings;
    settings.keptVersions = 3;
    settings.keptVersionBytes = 1 << 20;
    settings.conditionalRequests = false;
    settings.mailChanges = false;
    ASSERT_TRUE(SaveFeatureSettings(folder.path(), settings));
    EXPECT_EQ(LoadFeatureSettings(folder.path()), settings);
    std::string text = ReadBytes(FeatureSettingsFile(folder.path()));
    EXPECT_NE(text.find("\"mailChanges\": false"), std::string::npos) << text;
    EXPECT_NE(text.find("\"fromANewerBuild\""), std::string::npos) << text;
    EXPECT_EQ(test::FileMode(FeatureSettingsFile(folder.path())), 0600u);
}

}  // namespace
}  // namespace wardlet
