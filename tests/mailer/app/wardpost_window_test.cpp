// The program's window run in-process on the offscreen platform, as the monitor starts it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "common/mail_queue.h"
#include "file_bytes.h"
#include "mailer/app/quorvmail_dlg.h"
#include "mailer/app/wardpost_run.h"
#include "mailer_fixture.h"
#include "modal_watch.h"
#include "qt_test_main.h"
#include "scripted_desktop.h"
#include "smtp_peer.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> LogLines(wardpost::CQuorvmailDlg* dialog) {
    std::vector<std::string> lines;
    for (int i = 0; i < dialog->logList()->count(); ++i)
        lines.push_back(dialog->logList()->item(i)->text().toStdString());
    return lines;
}

TEST(WardpostWindow, RefusesToRunWhenNotStartedByTheMonitor) {
    TempDataHome home;
    for (const QStringList& arguments : {QStringList{}, QStringList{"/test"}}) {
        ScriptedMessageBoxes messages;
        EXPECT_EQ(wardpost::RunWardpost(arguments, messages), 2);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text,
                  "Wardpost is not a stand-alone program.\n\nWardlet program will execute this "
                  "program automatically.");
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Information);
        EXPECT_FALSE(std::filesystem::exists(home.dataFolder()));  // nothing touched
    }
}

TEST(WardpostWindow, TestModeLogsTheSessionAndWaitsForClose) {
    TempDataHome home;
    ScriptedMessageBoxes noMessages;
    auto folder = home.makeDataFolder();
    SmtpPeer peer;
    WriteSettings(folder, {peer.host()}, true);
    QueueEntry(folder, "Untouched");
    std::string queued = ReadBytes(folder / kMailQueueFile);

    bool timedOut = false;
    bool emptyAtFirst = false;
    bool firstLook = true;
    std::vector<std::string> lines;
    WatchModal(
        [&](QWidget* modal) {
            auto* dialog = qobject_cast<wardpost::CQuorvmailDlg*>(modal);
            if (!dialog) return false;
            if (firstLook) {
                firstLook = false;
                emptyAtFirst = dialog->logList()->count() == 0;  // the send starts 500 ms later
                EXPECT_EQ(dialog->windowTitle().toStdString(), "Wardpost - Calvorne");
                EXPECT_FALSE(dialog->windowIcon().pixmap(32).isNull());
            }
            if (!dialog->sequenceDone()) return false;
            lines = LogLines(dialog);
            EXPECT_TRUE(dialog->isVisible());  // test mode waits for the user
            auto* close = dialog->findChild<QPushButton*>("close");
            EXPECT_EQ(close->text().toStdString(), "Close");
            QTest::mouseClick(close, Qt::LeftButton);
            return true;
        },
        &timedOut);
    EXPECT_EQ(wardpost::RunWardpost({"/test", "/from_wardlet"}, noMessages), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(noMessages.shown.empty());
    EXPECT_TRUE(emptyAtFirst);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Email configuration file read OK.");
    EXPECT_EQ(lines[1], "Connecting to " + peer.host() + "...");
    EXPECT_EQ(lines[2], "Sending email...");
    EXPECT_TRUE(MatchesDoneLine(lines[3]));
    EXPECT_FALSE(peer.EventsUntil("MESSAGE").empty());
    EXPECT_FALSE(std::filesystem::exists(folder / kMailConfigTestFile));
    EXPECT_EQ(ReadBytes(folder / kMailQueueFile), queued);
}

TEST(WardpostWindow, NormalModeClosesItselfAfterSending) {
    TempDataHome home;
    ScriptedMessageBoxes noMessages;
    auto folder = home.makeDataFolder();
    SmtpPeer peer;
    WriteSettings(folder, {peer.host()});
    QueueEntry(folder, "Sent");
    bool timedOut = false;
    QPointer<QTimer> watcher =
        WatchModal([](QWidget*) { return false; }, &timedOut);  // only the safety limit
    EXPECT_EQ(wardpost::RunWardpost({"/from_wardlet"}, noMessages), 0);
    delete watcher;
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(noMessages.shown.empty());
    EXPECT_FALSE(peer.EventsUntil("MESSAGE").empty());
    EXPECT_FALSE(std::filesystem::exists(folder / kMailQueueFile));
}

TEST(WardpostWindow, AShortConfigurationIsRefusedAndTheWindowStaysOpen) {
    TempDataHome home;
    ScriptedMessageBoxes noMessages;
    auto folder = home.makeDataFolder();
    auto bytes = ToBytes(MakeConfig({ClosedServer()}));
    WriteBytes(folder / kMailConfigFile, std::string(bytes.begin(), bytes.end() - 1));
    QueueEntry(folder, "Waiting");
    std::string queued = ReadBytes(folder / kMailQueueFile);

    bool timedOut = false;
    std::vector<std::string> lines;
    bool visibleAfter = false;
    WatchModal(
        [&](QWidget* modal) {
            auto* dialog = qobject_cast<wardpost::CQuorvmailDlg*>(modal);
            if (!dialog || !dialog->sequenceDone()) return false;
            lines = LogLines(dialog);
            visibleAfter = dialog->isVisible();
            dialog->reject();  // as the Close button does
            return true;
        },
        &timedOut);
    EXPECT_EQ(wardpost::RunWardpost({"/from_wardlet"}, noMessages), 0);
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(noMessages.shown.empty());
    EXPECT_TRUE(visibleAfter);
    EXPECT_THAT(lines, ElementsAre("Cannot read email configuration data from file."));
    EXPECT_EQ(ReadBytes(folder / kMailQueueFile), queued);
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
