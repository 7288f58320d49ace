// The properties dialog reaching outside: the file chooser and the FTP login probe.
#include "properties_dialog_fixture.h"

namespace wardlet::test {
namespace {

TEST(QtFileChooserTest, ChoosesAnyExistingFileUnderTheFixedFilter) {
    TempDir dir;
    WriteBytes(dir.path() / "syslog", "no dot in the name");
    bool timedOut = false;
    QStringList filters, modelFilters;
    QString title, unexpected;
    QPointer<QTimer> watcher = WatchModal(
        [&](QWidget* modal) {
            auto* files = qobject_cast<QFileDialog*>(modal);
            if (!files) {  // a warning of the file dialog's own: note it and end both
                unexpected = modal->windowTitle();
                for (QWidget* window : QApplication::topLevelWidgets())
                    if (auto* dialog = qobject_cast<QDialog*>(window);
                        dialog && dialog->isVisible())
                        dialog->reject();
                return true;
            }
            title = files->windowTitle();
            filters = files->nameFilters();
            if (auto* model = files->findChild<QFileSystemModel*>())
                modelFilters = model->nameFilters();
            // Typed into the file name field, as a person would: a selection made through the
            // dialog's list depends on where the focus is and on the list having loaded.
            auto* fileName = files->findChild<QLineEdit*>("fileNameEdit");
            if (!fileName) {
                unexpected = "no file name field";
                files->reject();
                return true;
            }
            fileName->setText(QString::fromStdString((dir.path() / "syslog").string()));
            // Queued, and asked again on later ticks until the dialog has closed: a warning that
            // accepting might show is met by this watcher instead of waiting on it.
            QMetaObject::invokeMethod(files, "accept", Qt::QueuedConnection);
            return false;
        },
        &timedOut);
    QtFileChooser chooser;
    auto chosen = chooser.ChooseExistingFile(nullptr);
    delete watcher;
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(unexpected, "");
    EXPECT_EQ(title, "Choose File..");
    EXPECT_EQ(filters, QStringList{"All Files (*.*)"});
    EXPECT_EQ(modelFilters, QStringList{"*"});  // names without a dot are listed too
    EXPECT_EQ(chosen, (dir.path() / "syslog").string());
}

TEST_F(PropertiesDialogTest, FtpConnectionTestReportsEachStepWhileTheWindowRuns) {
    TempDir root;
    std::filesystem::create_directories(root.path() / "pub" / "sub");
    WriteBytes(root.path() / "pub" / "sub" / "f.txt", "content");
    PeerProcess peer({Python(), TestFile("monitor/engine/ftp_peer.py"), root.path().string(),
                      "ftp user", "secret"});
    WriteBytes(root.path() / "home" / "mine.txt", "mine");
    std::string host = "127.0.0.1:" + std::to_string(peer.port());

    struct Case {
        std::string location;
        std::string password;  // empty: anonymous
        std::string shown;     // the start of the text: a reason's own words may go on
    };
    const std::vector<Case> cases = {
        {"ftp://" + host + "/pub/sub/f.txt", "",
         "Connecting to the server...SUCCESS\nChanging directory...SUCCESS\nGetting "
         "file...SUCCESS"},
        {host + "/mine.txt", "secret",
         "Connecting to the server...SUCCESS\nChanging directory...SUCCESS\nGetting "
         "file...SUCCESS"},
        {host + "/pub/missing/f.txt", "",
         "Connecting to the server...SUCCESS\nChanging directory...FAILED\nCWD pub/missing: 550 "},
        {host + "/pub/sub/none.txt", "",
         "Connecting to the server...SUCCESS\nChanging directory...SUCCESS\nGetting "
         "file...FAILED\nRETR pub/sub/none.txt: 550 "},
        {host + "/mine.txt", "wrong", "Connecting to the server...FAILED\nPASS: 530 "},
        {"127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + "/f.txt", "",
         "Connecting to the server...FAILED\nFailed to connect to 127.0.0.1"},
        // FTP over TLS says so, and a server without it ends the test at once.
        {"ftps://" + host + "/pub/sub/f.txt", "",
         "Connecting to the server with TLS...FAILED\nAUTH TLS: 500 "},
    };
    for (const Case& c : cases) {
        auto dialog = Open(PropertiesMode::Add);
        auto* action = Find<QPushButton>(dialog.get(), "actionButton");
        auto* info = Find<QLabel>(dialog.get(), "infoText");
        Click(dialog.get(), "typeFtpFile");
        Type(dialog.get(), "locationEdit", c.location);
        if (!c.password.empty()) {
            Click(dialog.get(), "accountCheck");
            Type(dialog.get(), "userNameEdit", "ftp user");
            Type(dialog.get(), "passwordEdit", c.password);
        }
        Click(dialog.get(), "actionButton");
        // The click returned at once: the test runs on, the button waits disabled.
        EXPECT_TRUE(dialog->ftpTestRunning()) << c.location;
        EXPECT_FALSE(action->isEnabled());
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(1);
        ASSERT_TRUE(WaitUntil([&] { return action->isEnabled(); })) << c.location;
        EXPECT_GT(ticks, 0);
        EXPECT_EQ(info->text().toStdString().rfind(c.shown, 0), 0u)
            << c.location << ": " << info->text().toStdString();
        EXPECT_TRUE(messages_.shown.empty());
        EXPECT_TRUE(TempFiles().empty()) << c.location;
    }
}

TEST_F(PropertiesDialogTest, ClosingAbandonsARunningFtpTest) {
    SilentListener server;  // takes the connection and never greets

    auto dialog = Open(PropertiesMode::Add, 0, true);  // the server would be waited for 60 s
    dialog->findChild<QRadioButton*>("typeFtpFile")->click();
    Type(dialog.get(), "locationEdit", "127.0.0.1:" + std::to_string(server.port()) + "/f");
    Click(dialog.get(), "actionButton");
    ASSERT_TRUE(dialog->ftpTestRunning());
    WaitUntil([] { return false; }, 300);
    QElapsedTimer closing;
    closing.start();
    dialog->reject();
    dialog.reset();
    EXPECT_LT(closing.elapsed(), 30000);  // abandoned, not waited out
    EXPECT_TRUE(TempFiles().empty());
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
