#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <fstream>

#include "common/desktop/qt_desktop_services.h"
#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/app/window/wardlet_app.h"
#include "qt_test_main.h"
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;

// The window over a data folder written beforehand, with the message boxes and the opener
// answered by the test; the launcher is the real one unless a test swaps it.
class WindowTest : public ::testing::Test {
protected:
    WindowTest() : data_(home_.makeDataFolder()) {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
    }
    ~WindowTest() override { app_.reset(); }

    void WriteDocument(DocumentType type, const std::string& name, const std::string& location,
                       DocumentStatus status, const std::string& lastCheck = "") {
        DocumentRecord record{};
        record.type = static_cast<int32_t>(type);
        SetFieldText(record.name, name);
        SetFieldText(record.location, location);
        SetFieldText(record.lastCheck, lastCheck);
        record.status = static_cast<int32_t>(status);
        DocumentTable table;
        DocumentStore store(data_, table);
        ASSERT_TRUE(store.SaveDocument(table.Add(record)));
    }
    void Start(ProcessLauncher* launcher = nullptr) {
        app_ = std::make_unique<CWardletApp>(
            data_, install_.path(),
            CWardletApp::Desktop{boxes_, opener_, launcher ? *launcher : launcher_}, QuickLimits());
        app_->frame().quit = [this](ShutdownEnd end) { quit_ = end; };
        app_->frame().startupPrompt = [this] {
            ++prompts_;
            return StartupAnswer::Cancel;
        };
        app_->Start(false);
    }
    QString Text(int row, int column) {
        return app_->model().data(app_->model().index(row, column), Qt::DisplayRole).toString();
    }
    std::vector<std::string> Column(int column) {
        std::vector<std::string> texts;
        for (int row = 0; row < app_->model().rowCount(); ++row)
            texts.push_back(Text(row, column).toStdString());
        return texts;
    }
    size_t IndexOf(const std::string& name) { return app_->doc().store().FindRecordByName(name); }

    TempDataHome home_;
    std::filesystem::path data_;
    TempDir install_;
    ScriptedMessageBoxes boxes_;
    RecordingOpener opener_;
    QtProcessLauncher launcher_;
    std::unique_ptr<CWardletApp> app_;
    std::optional<ShutdownEnd> quit_;
    int prompts_ = 0;
};

TEST_F(WindowTest, FrameListColumnsTextsAndImages) {
    WriteDocument(DocumentType::WebPage, "page", "http://a/", DocumentStatus::Changed,
                  "2024/05/06 [07:08:09]");
    WriteDocument(DocumentType::LocalFile, "odd", "/x", static_cast<DocumentStatus>(7));
    Start();
    CMainFrame& frame = app_->frame();
    EXPECT_EQ(frame.windowTitle(), "Wardlet - Calvorne");
    EXPECT_EQ(frame.windowIcon().availableSizes().size(), 3);
    QToolBar& bar = frame.toolBar();
    std::vector<std::string> buttons;
    for (QAction* action : bar.actions())
        buttons.push_back(action->isSeparator() ? "|" : action->objectName().toStdString());
    EXPECT_THAT(buttons, ElementsAre("actionOptions", "|", "actionAdd", "actionCheckSelected",
                                     "actionOpen"));
    EXPECT_EQ(bar.iconSize(), QSize(42, 42));
    EXPECT_EQ(frame.statusBar()->currentMessage(), "Ready");

    QHeaderView* header = app_->view().header();
    std::vector<int> widths;
    std::vector<std::string> headings;
    for (int c = 0; c < 4; ++c) {
        widths.push_back(header->sectionSize(c));
        headings.push_back(
            app_->model().headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString());
    }
    EXPECT_THAT(widths, ElementsAre(250, 130, 150, 170));
    EXPECT_THAT(headings, ElementsAre("Name", "Type", "Status", "Last Check"));
    int page = static_cast<int>(*app_->view().FindRowOfRecord(IndexOf("page")));
    int odd = static_cast<int>(*app_->view().FindRowOfRecord(IndexOf("odd")));
    EXPECT_EQ(Text(page, 1).toStdString(), "Web Page");
    EXPECT_EQ(Text(page, 2).toStdString(), "** Changed");
    EXPECT_EQ(Text(page, 3).toStdString(), "2024/05/06 [07:08:09]");
    EXPECT_EQ(Text(odd, 1).toStdString(), "Local File");
    EXPECT_EQ(Text(odd, 2).toStdString(), "Unknown");
    EXPECT_EQ(Text(odd, 3).toStdString(), "?");
    auto image = [&](int row) {
        return qvariant_cast<QIcon>(
                   app_->model().data(app_->model().index(row, 0), Qt::DecorationRole))
            .pixmap(16, 16)
            .toImage()
            .pixelColor(8, 10);
    };
    EXPECT_GT(image(page).green(), 150);  // the green page
    EXPECT_LT(image(page).red(), 120);
    EXPECT_EQ(image(odd), QColor(Qt::white));
    EXPECT_EQ(app_->view().selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(app_->view().selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(WindowTest, SortsOncePerClickWithOneDirectionForAllColumns) {
    WriteDocument(DocumentType::WebPage, "b", "u", DocumentStatus::Checked);
    WriteDocument(DocumentType::LocalFile, "C", "u", DocumentStatus::Changed);
    WriteDocument(DocumentType::FtpFile, "a", "u", DocumentStatus::Unavailable);
    Start();
    QHeaderView* header = app_->view().header();
    auto click = [&](int column) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
    };
    click(0);
    EXPECT_THAT(Column(0), ElementsAre("C", "a", "b"));  // byte-wise: capitals first
    click(0);
    EXPECT_THAT(Column(0), ElementsAre("b", "a", "C"));
    click(2);  // ascending again: the flag is shared and flipped after every sort
    EXPECT_THAT(Column(2), ElementsAre("** Changed", "** Unable to retrieve", "Checked"));
    click(1);  // descending
    EXPECT_THAT(Column(1), ElementsAre("Web Page", "Local File", "FTP File"));
    // Rows stay tied to their records by name.
    EXPECT_EQ(app_->view().FindRecordOfRow(0), IndexOf("b"));
    EXPECT_EQ(app_->view().FindRowOfRecord(IndexOf("a")), 2u);
}

TEST_F(WindowTest, SelectRowOfRecordAddsToTheSelectionAndStartupPromptNeedsAnEmptyList) {
    WriteDocument(DocumentType::WebPage, "one", "u", DocumentStatus::Checked);
    WriteDocument(DocumentType::WebPage, "two", "u", DocumentStatus::Checked);
    Start();
    CWardletView& view = app_->view();
    view.SelectRowOfRecord(IndexOf("one"));
    view.SelectRowOfRecord(IndexOf("two"));
    EXPECT_EQ(view.SelectedCount(), 2u);
    EXPECT_TRUE(view.IsRowSelected(0));
    EXPECT_TRUE(view.IsRowSelected(1));
    view.SetAllRowsSelected(false);
    EXPECT_EQ(view.SelectedCount(), 0u);
    EXPECT_EQ(app_->timers().Interval(TimerId::StartupPrompt), 2000);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !app_->timers().IsActive(TimerId::StartupPrompt); }, 10000));
    EXPECT_EQ(prompts_, 0);
}

TEST_F(WindowTest, OptionsButtonRunsTheDialogAndItsApplyTakesEffect) {
    Start();
    ASSERT_TRUE(app_->timers().IsActive(TimerId::PeriodicCheck));
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Options");
        dialog->findChild<QComboBox*>("threadCountList")->setCurrentIndex(2);
        dialog->findChild<QCheckBox*>("periodicCheck")->setChecked(false);
        dialog->findChild<QPushButton*>("applyButton")->click();
    });
    app_->frame().actionOptions().trigger();
    ASSERT_TRUE(ReadOptionsFile(data_).has_value());
    EXPECT_EQ(ReadOptionsFile(data_)->threadCount, 3);
    EXPECT_EQ(app_->doc().options().periodicCheck, 0);
    EXPECT_FALSE(app_->timers().IsActive(TimerId::PeriodicCheck));
}

TEST_F(WindowTest, StartupPromptDialogAnswersAddDocument) {
    Start();
    int added = 0;
    app_->shell().addDocument = [&] { ++added; };
    app_->frame().startupPrompt = nullptr;  // the real dialog
    // Answered from the event loop once it is up, as a user would.
    QTimer::singleShot(0, [] {
        QWidget* prompt = QApplication::activeModalWidget();
        ASSERT_NE(prompt, nullptr);
        EXPECT_EQ(prompt->windowTitle(), "Startup Notification");
        prompt->findChild<QPushButton*>("addDocument")->click();
    });
    app_->shell().OnTimer(TimerId::StartupPrompt);
    EXPECT_EQ(added, 1);
}

TEST_F(WindowTest, ACheckThroughTheEngineUpdatesItsRowFromWaitingToItsEnd) {
    HttpPeer peer;
    peer.SetPage("p", std::string(64, 'x'), R"({"mode": "drip", "interval": 0.02})");
    WriteDocument(DocumentType::WebPage, "watched", peer.Url("p"), DocumentStatus::Checked);
    Start();
    std::vector<std::string> seen;
    QObject::connect(&app_->model(), &QAbstractItemModel::dataChanged, [&] {
        std::string status = Text(0, 2).toStdString();
        if (seen.empty() || seen.back() != status) seen.push_back(status);
    });
    app_->shell().OnTimer(TimerId::StartupCheck);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return app_->doc().ChecksIdle() && seen.size() >= 3; }, 30000));
    EXPECT_THAT(seen, ElementsAre("Waiting to retrieve...", "Retrieving...", "Ready"));
    EXPECT_NE(Text(0, 3), "?");
}

TEST_F(WindowTest, MailerStandInIsStartedAndMarksADocumentNotifiedTwice) {
    auto mailer = install_.path() / "Wardpost";
    auto record = install_.path() / "arguments";
    {
        std::ofstream script(mailer);
        script << "#!/bin/sh\necho \"$@\" > '" << record.string() << "'\n";
    }
    chmod(mailer.c_str(), 0755);
    {
        MonitorOptions options = DefaultOptions();
        options.sendEmail = 1;
        ASSERT_TRUE(SaveOptions(data_, options));
        MailConfig config{};
        config.sendOnChange = 1;
        config.markNotifiedChecked = 1;
        ASSERT_TRUE(WriteMailConfig(data_ / kMailConfigFile, config));
    }
    WriteDocument(DocumentType::WebPage, "twice", "http://a/", DocumentStatus::Changed);
    Start();
    EXPECT_EQ(app_->timers().Interval(TimerId::Mailer), 60000);
    size_t index = IndexOf("twice");
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(app_->doc().engine().mail().QueueEntry(
            index, app_->doc().table().Get(index), NotifyKind::Changed,
            app_->doc().engineSettings().Notification(), 256));
    app_->shell().OnTimer(TimerId::Mailer);
    EXPECT_EQ(Text(0, 2), "Checked");
    ASSERT_TRUE(QTest::qWaitFor([&] { return ReadBytes(record) == "/from_wardlet\n"; }, 20000));
}

TEST_F(WindowTest, MailerThatCannotStartShowsOneStopBoxAtATime) {
    WriteBytes(data_ / kMailQueueFile, "x");
    Start();  // no Wardpost in the install folder
    boxes_.onShow = [&] {
        boxes_.onShow = nullptr;
        app_->shell().OnTimer(TimerId::Mailer);
    };
    app_->shell().OnTimer(TimerId::Mailer);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text,
              "Cannot execute the Wardpost program. Wardlet is not installed properly.");
    EXPECT_EQ(boxes_.shown[0].icon, MessageIcon::Stop);
}

TEST_F(WindowTest, DoubleClickOpensTheRowAndCloseEndsTheProgramAfterSaving) {
    WriteDocument(DocumentType::WebPage, "page", "https://example.org/x", DocumentStatus::Changed);
    Start();
    CWardletView& view = app_->view();
    QRect cell = view.visualRect(app_->model().index(0, 1));
    QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_THAT(opener_.urls, ElementsAre("https://example.org/x"));
    EXPECT_EQ(Text(0, 2), "Checked");
    app_->frame().close();
    ASSERT_TRUE(quit_.has_value());
    EXPECT_EQ(*quit_, ShutdownEnd::ChecksStopped);
    EXPECT_FALSE(app_->tray().icon().isVisible());
    DocumentTable table;
    DocumentStore store(data_, table);
    store.LoadAllDocuments();
    EXPECT_EQ(table.Get(0).status, static_cast<int32_t>(DocumentStatus::Checked));
}

TEST_F(WindowTest, MinimisingHidesOnlyWithATrayAndActivateBringsItBack) {
    Start();
    CMainFrame& frame = app_->frame();
    frame.showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app_->shell().unattended());
    bool tray = QSystemTrayIcon::isSystemTrayAvailable();
    QTest::qWait(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.isHidden(), tray);  // without a tray it stays reachable
    app_->shell().Activate();
    EXPECT_TRUE(frame.isVisible());
    EXPECT_FALSE(frame.isMinimized());
    EXPECT_FALSE(app_->shell().unattended());
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
