// The desktop services over Qt on the offscreen platform, and the mailer start shared by the
// mailer timer and the test mail.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <thread>

#include "common/desktop/qt_desktop_services.h"
#include "common/mailer_launch.h"
#include "file_bytes.h"
#include "qt_test_main.h"
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {

// Receives what QDesktopServices hands to a scheme's handler.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

namespace {

TEST(MailerStart, StartsWardpostFromTheInstallFolderWithTheModesArguments) {
    RecordingLauncher launcher;
    EXPECT_EQ(StartMailerProgram(launcher, "/opt/w", MailerMode::Normal), MailerStart::Started);
    EXPECT_EQ(StartMailerProgram(launcher, "/opt/w", MailerMode::Test), MailerStart::Started);
    launcher.succeed = false;
    EXPECT_EQ(StartMailerProgram(launcher, "/opt/w", MailerMode::Normal), MailerStart::Failed);
    ASSERT_EQ(launcher.starts.size(), 3u);
    EXPECT_EQ(launcher.starts[0].program, std::filesystem::path("/opt/w/Wardpost"));
    EXPECT_EQ(launcher.starts[0].arguments, std::vector<std::string>{"/from_wardlet"});
    EXPECT_EQ(launcher.starts[1].arguments, (std::vector<std::string>{"/test", "/from_wardlet"}));
}

TEST(QtProcessLauncher, StartsADetachedProgramWithItsArgumentsAndReportsAMissingOne) {
    TempDir dir;
    auto script = dir.path() / "Wardpost";
    auto out = dir.path() / "arguments";
    WriteBytes(script, "#!/bin/sh\nprintf '%s|' \"$@\" > '" + out.string() + ".part'\nmv '" +
                           out.string() + ".part' '" + out.string() + "'\n");
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);

    QtProcessLauncher launcher;
    ASSERT_EQ(StartMailerProgram(launcher, dir.path(), MailerMode::Test), MailerStart::Started);
    for (int i = 0; i < 200 && !std::filesystem::exists(out); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadBytes(out), "/test|/from_wardlet|");

    EXPECT_EQ(StartMailerProgram(launcher, dir.path() / "missing", MailerMode::Normal),
              MailerStart::Failed);
}

TEST(QtDocumentOpener, HandsPagesAndFilesToTheDesktop) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    QDesktopServices::setUrlHandler("file", &catcher, "Open");
    QtDocumentOpener opener;
    opener.OpenUrl("http://user:pw@example.com/a b?x=1");
    opener.OpenFile("/tmp/Wardlet data/UVP1F.tmp_report.pdf");
    QDesktopServices::unsetUrlHandler("http");
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0].userName().toStdString(), "user");
    EXPECT_EQ(catcher.urls[0].password().toStdString(), "pw");
    EXPECT_EQ(catcher.urls[0].host().toStdString(), "example.com");
    EXPECT_EQ(catcher.urls[1].toLocalFile().toStdString(),
              "/tmp/Wardlet data/UVP1F.tmp_report.pdf");
}

// The one place that looks at a real QMessageBox: everything else answers through the seam.
TEST(QtMessageBoxes, ShowTheCaptionTextIconAndButtonsAndReturnTheAnswer) {
    QtMessageBoxes messages(kMonitorTitle);
    struct Seen {
        QString caption, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
    } seen;
    auto answerWith = [&seen](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&seen, button] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
            box->button(button)->click();
        });
    };
    answerWith(QMessageBox::No);
    EXPECT_EQ(messages.Show("Are you sure?", MessageIcon::Question, MessageButtons::YesNo),
              MessageAnswer::No);
    EXPECT_EQ(seen.caption.toStdString(), "Wardlet - Calvorne");
    EXPECT_EQ(seen.text.toStdString(), "Are you sure?");
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);

    answerWith(QMessageBox::Ok);
    EXPECT_EQ(messages.Show("Cannot open.", MessageIcon::Stop), MessageAnswer::Ok);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
    EXPECT_EQ(seen.buttons, QMessageBox::Ok);
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN

#include "desktop_services_test.moc"
