// The e-mail dialog reached from the options dialog, and its test mail.
#include "options_dialog_fixture.h"

namespace wardlet::test {
namespace {

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

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
