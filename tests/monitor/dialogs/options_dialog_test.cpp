// The options dialog: its boxes, lists, the settings file and the autostart entry.
#include "options_dialog_fixture.h"

namespace wardlet::test {
namespace {

constexpr char kBuildTreeProgram[] = "/srv/wardlet build/Wardlet";

std::string BuildTreeEntry() {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Wardlet\n"
           "Comment=Watch web pages and files for changes\n"
           "Exec=\"/srv/wardlet build/Wardlet\" /hide\n"
           "Icon=wardlet\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

TEST_F(OptionsDialogTest, EachCheckBoxShowsAndStoresItsOwnOption) {
    for (const auto& field : kOptionFields) {
        if (field.member == &MonitorOptions::checkPeriodMinutes ||
            field.member == &MonitorOptions::threadCount)
            continue;
        for (int32_t stored : {1, 2}) {
            MonitorOptions options{};
            options.threadCount = 2;
            options.*field.member = stored;
            MailSettingsContext mail = Mail();
            OptionsDialog dialog(options, mail);
            for (const auto& other : kOptionFields) {
                auto* box = dialog.findChild<QCheckBox*>(QString::fromLatin1(other.name));
                if (!box) continue;
                EXPECT_EQ(box->isChecked(), stored == 1 && other.member == field.member)
                    << field.name << " shown by " << other.name;
            }
            Find<QPushButton>(&dialog, "applyButton")->click();
            EXPECT_EQ(dialog.result(), 1);
            MonitorOptions expected{};
            expected.threadCount = 2;
            expected.*field.member = stored == 1 ? 1 : 0;
            EXPECT_EQ(ToBytes(options), ToBytes(expected)) << field.name;
        }
    }
}

TEST_F(OptionsDialogTest, IntervalStepsThreadListAndEnabling) {
    MonitorOptions options = DefaultOptions();
    options.checkPeriodMinutes = 598;
    options.threadCount = 7;
    options.sendEmail = 0;
    MailSettingsContext mail = Mail();
    OptionsDialog dialog(options, mail);
    dialog.show();
    auto* spin = Find<IntervalSpinBox>(&dialog, "intervalSpin");
    auto* threads = Find<QComboBox>(&dialog, "threadCountList");
    auto* email = Find<QPushButton>(&dialog, "emailPropertiesButton");
    EXPECT_EQ(spin->text(), "598");
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), "603");
    QTest::keyClick(spin, Qt::Key_Up);
    EXPECT_EQ(spin->text(), "603");
    EXPECT_EQ(threads->count(), 5);
    EXPECT_EQ(threads->itemText(0), "1");
    EXPECT_EQ(threads->currentIndex(), -1);
    EXPECT_TRUE(spin->isEnabled());
    EXPECT_FALSE(email->isEnabled());
    Find<QCheckBox>(&dialog, "sendEmail")->click();
    EXPECT_TRUE(email->isEnabled());
    Find<QCheckBox>(&dialog, "periodicCheck")->click();
    EXPECT_FALSE(spin->isEnabled());
    Find<QPushButton>(&dialog, "applyButton")->click();
    EXPECT_EQ(options.checkPeriodMinutes, 603);  // stored though disabled
    EXPECT_EQ(options.threadCount, 1);
    EXPECT_EQ(options.periodicCheck, 0);
    EXPECT_EQ(options.sendEmail, 1);

    options.checkPeriodMinutes = 3;
    options.threadCount = 4;
    OptionsDialog small(options, mail);
    auto* smallSpin = Find<IntervalSpinBox>(&small, "intervalSpin");
    smallSpin->stepDown();
    EXPECT_EQ(smallSpin->text(), "3");
    smallSpin->stepUp();
    EXPECT_EQ(smallSpin->text(), "8");
    EXPECT_EQ(Find<QComboBox>(&small, "threadCountList")->currentText(), "4");
    MonitorOptions before = options;
    Find<QPushButton>(&small, "cancelButton")->click();
    EXPECT_EQ(small.result(), 0);
    EXPECT_EQ(ToBytes(options), ToBytes(before));
}

TEST_F(OptionsDialogTest, DesktopNotificationsLiveInTheSettingsFileWrittenByApplyAlone) {
    MonitorOptions options = DefaultOptions();
    ASSERT_TRUE(SaveOptions(data_, options));
    const std::string optionsFile = ReadBytes(data_ / kOptionsFile);
    const auto settingsFile = FeatureSettingsFile(data_);
    WriteBytes(settingsFile, "{\"laterFeature\": [1, 2], \"keptVersions\": 4}\n");
    const std::string before = ReadBytes(settingsFile);
    MailSettingsContext mail = Mail();
    auto run = [&](bool check, const char* button) {
        OptionsDialog dialog(options, mail, nullptr, kBuildTreeProgram);
        auto* box = Find<QCheckBox>(&dialog, "desktopNotifications");
        EXPECT_EQ(box->text(), "Desktop notifications");
        EXPECT_NE(Find<QLabel>(&dialog, "noTrayNote")->text().indexOf("without a tray"), -1);
        bool shown = box->isChecked();
        box->setChecked(check);
        Find<QPushButton>(&dialog, button)->click();
        return shown;
    };

    EXPECT_TRUE(run(false, "cancelButton"));  // on by default
    EXPECT_EQ(ReadBytes(settingsFile), before);
    EXPECT_TRUE(run(false, "applyButton"));
    FeatureSettings saved = LoadFeatureSettings(data_);
    EXPECT_FALSE(saved.desktopNotifications);
    EXPECT_EQ(saved.keptVersions, 4);
    EXPECT_NE(ReadBytes(settingsFile).find("\"laterFeature\""), std::string::npos);
    EXPECT_EQ(ReadBytes(data_ / kOptionsFile), optionsFile);
    EXPECT_FALSE(run(true, "applyButton"));
    EXPECT_TRUE(LoadFeatureSettings(data_).desktopNotifications);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(OptionsDialogTest, SettingsThatCannotBeWrittenAreSaidAndTheOptionsStillApply) {
    // A folder where the file should be: no write can replace it, whoever runs the test.
    std::filesystem::create_directory(FeatureSettingsFile(data_));
    MonitorOptions options = DefaultOptions();
    options.soundOnChange = 1;
    MailSettingsContext mail = Mail();
    OptionsDialog dialog(options, mail, nullptr, kBuildTreeProgram);
    Find<QCheckBox>(&dialog, "desktopNotifications")->setChecked(false);
    Find<QCheckBox>(&dialog, "soundOnChange")->setChecked(false);
    Find<QPushButton>(&dialog, "applyButton")->click();
    EXPECT_EQ(dialog.result(), 1);
    EXPECT_EQ(options.soundOnChange, 0);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text,
              "The settings could not be written:\n" + FeatureSettingsFile(data_).string());
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Stop);
}

TEST_F(OptionsDialogTest, StartAtLoginIsTheEntryWrittenOrRemovedByApplyAlone) {
    MonitorOptions options = DefaultOptions();
    ASSERT_TRUE(SaveOptions(data_, options));
    const std::string optionsFile = ReadBytes(data_ / kOptionsFile);
    ASSERT_EQ(optionsFile.size(), 44u);
    MailSettingsContext mail = Mail();
    auto run = [&](bool check, const char* button) {
        OptionsDialog dialog(options, mail, nullptr, kBuildTreeProgram);
        auto* box = Find<QCheckBox>(&dialog, "startAtLogin");
        bool shown = box->isChecked();
        box->setChecked(check);
        Find<QPushButton>(&dialog, button)->click();
        // What the monitor does after Apply: the option must not reach the options file.
        if (dialog.result() == 1) {
            EXPECT_TRUE(SaveOptions(data_, options));
        }
        return shown;
    };

    EXPECT_FALSE(run(true, "cancelButton"));
    EXPECT_FALSE(std::filesystem::exists(Entry()));
    EXPECT_FALSE(run(true, "applyButton"));
    EXPECT_EQ(ReadBytes(Entry()), BuildTreeEntry());
    EXPECT_EQ(FileMode(Entry()), 0644u);
    EXPECT_EQ(ReadBytes(data_ / kOptionsFile), optionsFile);

    EXPECT_TRUE(run(false, "cancelButton"));
    EXPECT_EQ(ReadBytes(Entry()), BuildTreeEntry());
    EXPECT_TRUE(run(false, "applyButton"));
    EXPECT_FALSE(std::filesystem::exists(Entry()));
    EXPECT_TRUE(std::filesystem::is_directory(Entry().parent_path()));
    EXPECT_EQ(ReadBytes(data_ / kOptionsFile), optionsFile);
    EXPECT_FALSE(run(false, "applyButton"));  // nothing to remove is no failure

    // An entry the user made by hand counts as the option on, and Apply makes it the program's.
    WriteBytes(Entry(), "[Desktop Entry]\nType=Application\nExec=wardlet\n");
    EXPECT_TRUE(run(true, "applyButton"));
    EXPECT_EQ(ReadBytes(Entry()), BuildTreeEntry());
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(OptionsDialogTest, StartAtLoginStartsTheRunningProgramByDefault) {
    MonitorOptions options = DefaultOptions();
    MailSettingsContext mail = Mail();
    OptionsDialog dialog(options, mail);
    Find<QCheckBox>(&dialog, "startAtLogin")->setChecked(true);
    Find<QPushButton>(&dialog, "applyButton")->click();
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    ASSERT_FALSE(program.empty());
    EXPECT_NE(ReadBytes(Entry()).find("\nExec=" + program + " /hide\n"), std::string::npos)
        << ReadBytes(Entry());
}

TEST_F(OptionsDialogTest, StartAtLoginThatCannotBeChangedSaysSoAndTheRestApplies) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    namespace fs = std::filesystem;
    const auto readOnly = fs::perms::owner_read | fs::perms::owner_exec;
    MonitorOptions options = DefaultOptions();
    options.soundOnChange = 1;
    MailSettingsContext mail = Mail();

    fs::permissions(config_.path(), readOnly);
    {
        OptionsDialog dialog(options, mail, nullptr, kBuildTreeProgram);
        Find<QCheckBox>(&dialog, "startAtLogin")->setChecked(true);
        Find<QCheckBox>(&dialog, "soundOnChange")->setChecked(false);
        Find<QPushButton>(&dialog, "applyButton")->click();
        EXPECT_EQ(dialog.result(), 1);
    }
    fs::permissions(config_.path(), fs::perms::owner_all);
    EXPECT_EQ(options.soundOnChange, 0);
    EXPECT_FALSE(fs::exists(Entry()));
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text,
              "The log-in start entry could not be written:\n" + Entry().string());
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Stop);

    ASSERT_EQ(WriteAutostartEntry(kBuildTreeProgram), AutostartResult::Done);
    fs::permissions(Entry().parent_path(), readOnly);
    {
        OptionsDialog dialog(options, mail, nullptr, kBuildTreeProgram);
        Find<QCheckBox>(&dialog, "startAtLogin")->setChecked(false);
        Find<QCheckBox>(&dialog, "soundOnChange")->setChecked(true);
        Find<QPushButton>(&dialog, "applyButton")->click();
        EXPECT_EQ(dialog.result(), 1);
    }
    fs::permissions(Entry().parent_path(), fs::perms::owner_all);
    EXPECT_EQ(options.soundOnChange, 1);
    EXPECT_EQ(ReadBytes(Entry()), BuildTreeEntry());
    ASSERT_EQ(messages_.shown.size(), 2u);
    EXPECT_EQ(messages_.shown[1].text,
              "The log-in start entry could not be removed:\n" + Entry().string());
    EXPECT_EQ(messages_.shown[1].icon, MessageIcon::Stop);
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
