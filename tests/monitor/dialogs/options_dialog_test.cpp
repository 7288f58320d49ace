// The options dialog and the e-mail properties dialogs on the offscreen platform; the modal
// e-mail dialogs are driven through the event loop, message boxes are scripted. The log-in start
// entry goes to a temporary config folder.
#include <gtest/gtest.h>
#include <unistd.h>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "common/desktop/qt_desktop_services.h"
#include "common/little_endian.h"
#include "common/mailer_launch.h"
#include "dialog_test_support.h"
#include "file_bytes.h"
#include "monitor/app/autostart_entry.h"
#include "monitor/dialogs/options_dialog.h"
#include "monitor/model/feature_settings.h"
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

std::string Bytes(const MailConfig& config) {
    auto bytes = ToBytes(config);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

MailConfig SavedSettings() {
    MailConfig c{};
    c.sendOnChange = 1;
    c.requiresAuth = 1;
    SetFieldText(c.smtpUserName, "saved user");
    SetFieldText(c.smtpPassword, "saved pass");
    SetFieldText(c.smtpServer, "smtp.example.com");
    SetFieldText(c.toAddress, "to@example.com");
    return c;
}

// Runs the steps one after another on whatever modal window is active; each returns true when
// it is done with its window.
void DriveModals(std::vector<std::function<bool(QWidget*)>> steps, bool* timedOut) {
    auto next = std::make_shared<size_t>(0);
    auto all = std::make_shared<std::vector<std::function<bool(QWidget*)>>>(std::move(steps));
    WatchModal(
        [=](QWidget* modal) {
            if ((*all)[*next](modal)) ++*next;
            return *next == all->size();
        },
        timedOut);
}

// Clicks a button that opens a modal window after the current step has returned.
void Later(QPushButton* button) {
    QTimer::singleShot(0, button, &QPushButton::click);
}

void SetEdit(QWidget* w, const char* name, const QString& text) {
    Find<QLineEdit>(w, name)->setText(text);
}

bool Titled(QWidget* w, const char* title) {
    return w->windowTitle() == title;
}

// Points XDG_CONFIG_HOME at a fresh temporary folder for the object's lifetime.
class TempConfigHome {
public:
    TempConfigHome() {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
        setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    ~TempConfigHome() {
        if (old_)
            setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    TempDir dir_;
    std::optional<std::string> old_;
};

class OptionsDialogTest : public ::testing::Test {
protected:
    MailSettingsContext Mail() {
        return MailSettingsContext{data_, install_.path(), inForce_, messages_, launcher_};
    }
    std::string MailFile() { return ReadBytes(data_ / kMailConfigFile); }

    std::filesystem::path Entry() const { return config_.path() / "autostart" / "wardlet.desktop"; }

    TempDataHome home_;
    std::filesystem::path data_ = home_.makeDataFolder();
    TempConfigHome config_;
    TempDir install_;
    MailConfig inForce_{};
    ScriptedMessageBoxes messages_;
    RecordingLauncher launcher_;
};

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

TEST_F(OptionsDialogTest, EmailPropertiesAppliedThenOptionsCancelled) {
    MonitorOptions options = DefaultOptions();
    options.sendEmail = 1;
    MonitorOptions before = options;
    MailSettingsContext mail = Mail();
    OptionsDialog dialog(options, mail);
    bool timedOut = false;
    DriveModals({[&](QWidget* w) {
                     if (!Titled(w, "Email Properties")) return false;
                     SetEdit(w, "serverEdit", "mail.example.com");
                     SetEdit(w, "toEdit", "me@example.com");
                     Find<QCheckBox>(w, "sendOnUnreachableCheck")->setChecked(true);
                     Find<QPushButton>(w, "applyButton")->click();
                     return true;
                 },
                 [&](QWidget* w) {
                     if (!Titled(w, "Options")) return false;
                     Find<QCheckBox>(w, "soundOnChange")->setChecked(false);
                     Find<QPushButton>(w, "cancelButton")->click();
                     return true;
                 }},
                &timedOut);
    QTimer::singleShot(0, [&] { Find<QPushButton>(&dialog, "emailPropertiesButton")->click(); });
    EXPECT_EQ(dialog.exec(), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(ToBytes(options), ToBytes(before));
    MailConfig saved = MailConfigFromBytes(
        reinterpret_cast<const unsigned char*>(MailFile().data()), MailFile().size());
    EXPECT_EQ(FieldText(saved.smtpServer), "mail.example.com");
    EXPECT_EQ(saved.sendOnUnreachable, 1);
    EXPECT_EQ(Bytes(inForce_), MailFile());
    EXPECT_EQ(FileMode(data_ / kMailConfigFile), 0600u);
}

TEST_F(OptionsDialogTest, EmailDialogReloadsRefusesAndKeepsCredentialsOnCancel) {
    MailConfig saved = SavedSettings();
    ASSERT_TRUE(WriteMailConfig(data_ / kMailConfigFile, saved));
    const std::string file = MailFile();
    bool timedOut = false;
    std::string shownServer;
    DriveModals({[&](QWidget* w) {
                     if (!Titled(w, "Email Properties")) return false;
                     shownServer = Find<QLineEdit>(w, "serverEdit")->text().toStdString();
                     Find<QCheckBox>(w, "sendOnChangeCheck")->setChecked(false);
                     Find<QPushButton>(w, "applyButton")->click();  // no "Send When" box
                     Later(Find<QPushButton>(w, "credentialsButton"));
                     return true;
                 },
                 [&](QWidget* w) {
                     if (!Titled(w, "Username/Password")) return false;
                     EXPECT_EQ(Find<QLineEdit>(w, "userNameEdit")->text(), "saved user");
                     SetEdit(w, "userNameEdit", "new user");
                     SetEdit(w, "passwordEdit", "");
                     Find<QPushButton>(w, "applyButton")->click();  // refused, stays open
                     SetEdit(w, "passwordEdit", "new pass");
                     Find<QPushButton>(w, "applyButton")->click();
                     return true;
                 },
                 [&](QWidget* w) {
                     if (!Titled(w, "Email Properties")) return false;
                     Find<QPushButton>(w, "cancelButton")->click();
                     return true;
                 }},
                &timedOut);
    EXPECT_EQ(EditMailSettings(nullptr, Mail()), MailSettingsResult::Cancelled);
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(shownServer, "smtp.example.com");
    EXPECT_EQ(messages_.Texts(),
              (std::vector<std::string>{"Please select an option at [Send when] section to apply.",
                                        "Please enter the username / password."}));
    EXPECT_EQ(MailFile(), file);
    EXPECT_EQ(Bytes(inForce_), file);  // reloaded from the file, untouched by the cancel
}

TEST_F(OptionsDialogTest, EmailDialogAppliesCredentialsAndALongServerWhole) {
    ASSERT_TRUE(WriteMailConfig(data_ / kMailConfigFile, SavedSettings()));
    const std::string server(79, 's');
    bool timedOut = false;
    DriveModals(
        {[&](QWidget* w) {
             if (!Titled(w, "Email Properties")) return false;
             EXPECT_EQ(Find<QLineEdit>(w, "serverEdit")->maxLength(), 79);
             EXPECT_FALSE(Find<QLineEdit>(w, "serverEdit")->placeholderText().isEmpty());
             EXPECT_TRUE(
                 Find<QLineEdit>(w, "serverEdit")->toolTip().contains("smtps://smtp.example.com"));
             SetEdit(w, "serverEdit", QString::fromStdString(server));
             Find<QCheckBox>(w, "markNotifiedCheck")->setChecked(true);
             Later(Find<QPushButton>(w, "credentialsButton"));
             return true;
         },
         [&](QWidget* w) {
             if (!Titled(w, "Username/Password")) return false;
             SetEdit(w, "userNameEdit", "new user");
             SetEdit(w, "passwordEdit", "new pass");
             Find<QPushButton>(w, "applyButton")->click();
             return true;
         },
         [&](QWidget* w) {
             if (!Titled(w, "Email Properties")) return false;
             Find<QPushButton>(w, "applyButton")->click();
             return true;
         }},
        &timedOut);
    EXPECT_EQ(EditMailSettings(nullptr, Mail()), MailSettingsResult::Applied);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(messages_.shown.empty());
    MailConfig expected = SavedSettings();
    SetFieldText(expected.smtpServer, server);
    SetFieldText(expected.smtpUserName, "new user");
    SetFieldText(expected.smtpPassword, "new pass");
    expected.markNotifiedChecked = 1;
    EXPECT_EQ(MailFile(), Bytes(expected));
    EXPECT_EQ(Bytes(inForce_), Bytes(expected));
}

TEST_F(OptionsDialogTest, TestMailStartsAStandInMailerWithTheWorkingCopy) {
    ASSERT_TRUE(WriteMailConfig(data_ / kMailConfigFile, SavedSettings()));
    const std::string file = MailFile();
    auto mailer = install_.path() / kMailerProgram;
    WriteBytes(mailer, "#!/bin/sh\necho \"$@\" > \"$0.args\"\n");
    std::filesystem::permissions(mailer, std::filesystem::perms::owner_all);
    QtProcessLauncher realLauncher;
    MailSettingsContext mail{data_, install_.path(), inForce_, messages_, realLauncher};

    bool timedOut = false;
    bool started = false;
    DriveModals({[&](QWidget* w) {
                    if (!Titled(w, "Email Properties")) return false;
                    Find<QCheckBox>(w, "sendOnChangeCheck")->setChecked(false);
                    SetEdit(w, "toEdit", "");
                    Find<QPushButton>(w, "sendTestButton")->click();  // refused: no TO
                    SetEdit(w, "toEdit", "test@example.com");
                    SetEdit(w, "ccEdit", "cc@example.com");
                    Find<QPushButton>(w, "sendTestButton")->click();
                    started = WaitUntil(
                        [&] { return std::filesystem::exists(install_.path() / "Wardpost.args"); });
                    Find<QPushButton>(w, "cancelButton")->click();
                    return true;
                }},
                &timedOut);
    EXPECT_EQ(EditMailSettings(nullptr, mail), MailSettingsResult::Cancelled);
    EXPECT_FALSE(timedOut);
    ASSERT_TRUE(started);
    EXPECT_EQ(messages_.Texts(),
              std::vector<std::string>{"Please enter 'TO:' recipient email address."});
    EXPECT_EQ(ReadBytes(install_.path() / "Wardpost.args"), "/test /from_wardlet\n");
    MailConfig expected = SavedSettings();
    SetFieldText(expected.toAddress, "test@example.com");
    SetFieldText(expected.ccAddress, "cc@example.com");
    EXPECT_EQ(ReadBytes(data_ / kMailConfigTestFile), Bytes(expected));  // check boxes unread
    EXPECT_EQ(FileMode(data_ / kMailConfigTestFile), 0600u);
    EXPECT_EQ(MailFile(), file);
}

TEST_F(OptionsDialogTest, TestMailThatCannotStartTheMailerSaysSo) {
    launcher_.succeed = false;
    inForce_ = SavedSettings();
    MailConfig working = SavedSettings();
    MailSettingsContext mail = Mail();
    EmailPropertiesDialog dialog(mail, working);
    Find<QPushButton>(&dialog, "sendTestButton")->click();
    ASSERT_EQ(launcher_.starts.size(), 1u);
    EXPECT_EQ(launcher_.starts[0].program, install_.path() / "Wardpost");
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text, kCannotExecuteMailer);
    EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Stop);
    EXPECT_FALSE(std::filesystem::exists(data_ / kMailConfigFile));
}

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
