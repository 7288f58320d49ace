#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <atomic>
#include <fstream>
#include <map>
#include <thread>

#include "common/desktop/qt_desktop_services.h"
#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "engine_fixture.h"
#include "fake_command_dialogs.h"
#include "file_bytes.h"
#include "modal_watch.h"
#include "monitor/dialogs/about_box.h"
#include "monitor/dialogs/save_as_dialog.h"
#include "monitor/window/background_copies.h"
#include "monitor/window/command_dialogs.h"
#include "monitor/window/single_instance.h"
#include "monitor/window/ui_thread_observer.h"
#include "monitor/window/wardlet_app.h"
#include "qt_test_main.h"
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

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
            CWardletApp::Desktop{boxes_, opener_, launcher ? *launcher : launcher_, dialogs_},
            QuickLimits());
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
    size_t IndexOf(const std::string& name) { return app_->doc().FindDocument(name); }

    TempDataHome home_;
    std::filesystem::path data_;
    TempDir install_;
    ScriptedMessageBoxes boxes_;
    RecordingOpener opener_;
    QtProcessLauncher launcher_;
    CommandDialogs* dialogs_ = nullptr;  // the real dialogs unless a test gives stand-ins
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

TEST_F(WindowTest, RowsOfAStartAreInNameOrder) {
    for (const char* name : {"Delta", "Foxtrot", "Alpha", "Charlie", "Echo", "Bravo"})
        WriteDocument(DocumentType::LocalFile, name, "/x", DocumentStatus::Checked);
    Start();
    EXPECT_THAT(Column(0), ElementsAre("Alpha", "Bravo", "Charlie", "Delta", "Echo", "Foxtrot"));
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
    app_->frame().action(CommandId::Options).trigger();
    ASSERT_TRUE(ReadOptionsFile(data_).has_value());
    EXPECT_EQ(ReadOptionsFile(data_)->threadCount, 3);
    EXPECT_EQ(app_->doc().options().periodicCheck, 0);
    EXPECT_FALSE(app_->timers().IsActive(TimerId::PeriodicCheck));
}

TEST_F(WindowTest, StartupPromptDialogAnswersAddDocument) {
    Start();
    RecordingCommands commands;
    app_->shell().SetCommands(commands);
    app_->frame().startupPrompt = nullptr;  // the real dialog
    // Answered from the event loop once it is up, as a user would.
    QTimer::singleShot(0, [] {
        QWidget* prompt = QApplication::activeModalWidget();
        ASSERT_NE(prompt, nullptr);
        EXPECT_EQ(prompt->windowTitle(), "Startup Notification");
        prompt->findChild<QPushButton*>("addDocument")->click();
    });
    app_->shell().OnTimer(TimerId::StartupPrompt);
    EXPECT_THAT(commands.run, ElementsAre(CommandId::Add));
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

TEST_F(WindowTest, APassOverManyDocumentsEndsWithEveryRowShowingItsFinalStatus) {
    HttpPeer peer;
    peer.SetPage("p", "page");
    for (int i = 0; i < 24; ++i)
        WriteDocument(DocumentType::WebPage, "doc" + std::to_string(100 + i),
                      peer.Url(i % 4 == 3 ? "missing" : "p"), DocumentStatus::Checked);
    Start();
    app_->doc().CheckAll();
    std::vector<std::string> expected;
    for (int i = 0; i < 24; ++i)
        expected.push_back(i % 4 == 3 ? "** Unable to retrieve" : "Ready");
    // The rows are in name order, the order they were written in. The threads may go idle just
    // before their last refreshes are painted, so the rows are waited for too.
    auto checked = [&] {
        auto times = Column(3);
        return std::find(times.begin(), times.end(), "?") == times.end();
    };
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return app_->doc().ChecksIdle() && Column(2) == expected && checked(); }, 30000))
        << ::testing::PrintToString(Column(2)) << ::testing::PrintToString(Column(3));
    // Each failure selected its row, after that row showed the failure.
    EXPECT_EQ(app_->view().SelectedCount(), 6u);
}

// The window's side of the checks, told apart by what it was asked and in which order.
class RecordingTarget : public CheckObserver {
public:
    void RefreshRow(size_t index) override { log.push_back("refresh " + std::to_string(index)); }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        log.push_back("find " + std::to_string(index));
        return index;
    }
    void SelectRowOfRecord(size_t index) override {
        log.push_back("select " + std::to_string(index));
    }
    void PlaySound(NotifyKind) override { log.push_back("sound"); }
    void TrayAlert(size_t index, NotifyKind, std::optional<ChangedLineCount>) override {
        log.push_back("tray " + std::to_string(index));
    }
    void ShowMessage(std::string_view) override { log.push_back("message"); }
    void OpenDocument(size_t index) override { log.push_back("open " + std::to_string(index)); }
    std::vector<std::string> log;
};

TEST(UiThreadObserverTest, RefreshesDoNotWaitAndArePaintedOnceBeforeTheNextCallOrAtTheEnd) {
    RecordingTarget target;
    UiThreadObserver observer(target);
    std::thread check([&] {
        observer.RefreshRow(1);
        observer.RefreshRow(2);
        observer.RefreshRow(1);
    });
    check.join();  // this thread turned no events: the refreshes did not wait for it
    EXPECT_TRUE(target.log.empty());

    std::thread notify([&] {
        observer.RefreshRow(3);
        observer.PlaySound(NotifyKind::Changed);
        observer.RefreshRow(3);
        observer.SelectRowOfRecord(3);
        observer.TrayAlert(3, NotifyKind::Changed, std::nullopt);
        observer.RefreshRow(4);
        observer.OpenDocument(4);
        observer.RefreshRow(5);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.log.size() >= 9; }, 10000));
    notify.join();
    EXPECT_THAT(target.log, ElementsAre("refresh 1", "refresh 2", "refresh 3", "sound", "refresh 3",
                                        "select 3", "tray 3", "refresh 4", "open 4"));
    // The last refresh is left to the timer or the end of the pass, whichever comes first.
    observer.FlushRefreshes();
    EXPECT_EQ(target.log.back(), "refresh 5");
    EXPECT_EQ(target.log.size(), 10u);

    // On this thread a refresh is painted at once, and with the rows given a lookup is theirs.
    observer.RefreshRow(6);
    EXPECT_EQ(target.log.back(), "refresh 6");
    DocumentTable table;
    DocumentRowList rows(table);
    UiThreadObserver direct(target, &rows);
    std::optional<size_t> found = 0;
    std::thread([&] { found = direct.FindRowOfRecord(0); }).join();
    EXPECT_EQ(found, std::nullopt);
    EXPECT_EQ(target.log.size(), 11u);
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
        ASSERT_TRUE(app_->doc().QueueMailEntry(index, NotifyKind::Changed));
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

TEST_F(WindowTest, PropertiesAndContentHeaderRunTheRealDialogs) {
    WriteDocument(DocumentType::LocalFile, "notes", "/srv/nowhere/notes.txt",
                  DocumentStatus::Changed);
    WriteBytes(data_ / "notes.content", "stored notes");
    Start();
    app_->view().SetAllRowsSelected(true);  // its one row
    bool timedOut = false;
    WatchModal(
        [&](QWidget* dialog) {
            auto* name = dialog->findChild<QLineEdit*>("nameEdit");
            if (!name) return false;
            EXPECT_EQ(name->text(), "notes");
            name->setText("renamed notes");
            dialog->findChild<QPushButton*>("applyButton")->click();
            return true;
        },
        &timedOut);
    app_->frame().action(CommandId::Properties).trigger();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(Text(0, 0), "renamed notes");
    // Only the name changed: the stored copy moved with the document and the change still shows.
    EXPECT_EQ(Text(0, 2), "** Changed");
    EXPECT_EQ(ReadBytes(data_ / "renamed notes.content"), "stored notes");
    EXPECT_FALSE(std::filesystem::exists(data_ / "notes.data"));

    std::string shown;
    WatchModal(
        [&](QWidget* dialog) {
            if (dialog->windowTitle() != "Data view") return false;
            for (auto* pane : dialog->findChildren<QPlainTextEdit*>())
                shown += pane->toPlainText().toStdString();
            dialog->findChild<QPushButton*>("closeButton")->click();
            return true;
        },
        &timedOut);
    app_->frame().action(CommandId::ContentHeader).trigger();
    EXPECT_FALSE(timedOut);
    EXPECT_NE(shown.find("stored notes"), std::string::npos) << shown;
    EXPECT_TRUE(boxes_.shown.empty());
}

// The window's commands with stand-in dialogs.
class CommandWindowTest : public WindowTest {
protected:
    CommandWindowTest() { dialogs_ = &fakeDialogs_; }
    // Every action of a menu as "caption" lines, submenus as "caption>item", separators "-".
    static void Flatten(QMenu* menu, const QString& prefix, std::vector<std::string>& lines) {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator())
                lines.push_back((prefix + "-").toStdString());
            else if (action->menu())
                Flatten(action->menu(), prefix + action->text() + ">", lines);
            else
                lines.push_back((prefix + action->text()).toStdString());
        }
    }
    void SelectRows(const std::vector<int>& rows) {
        app_->view().clearSelection();
        for (int row : rows)
            app_->view().selectionModel()->select(
                app_->model().index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // The commands greyed in the menu bar, the tool bar's buttons and the context menu.
    std::vector<std::string> Greyed() {
        std::vector<std::string> greyed;
        for (const CommandInfo& command : AllCommands()) {
            if (command.menuText.empty()) continue;
            QAction& action = app_->frame().action(command.id);
            if (!action.isEnabled()) greyed.push_back(action.objectName().toStdString());
        }
        return greyed;
    }
    std::vector<std::string> GreyedButtons() {
        std::vector<std::string> greyed;
        QToolBar& bar = app_->frame().toolBar();
        for (QAction* action : bar.actions())
            if (!action->isSeparator() && !bar.widgetForAction(action)->isEnabled())
                greyed.push_back(action->objectName().toStdString());
        return greyed;
    }
    std::vector<std::string> GreyedInContextMenu() {
        app_->frame().PopUpContextMenu(app_->frame().geometry().center());
        std::vector<std::string> greyed;
        for (QAction* action : app_->frame().contextMenu().actions())
            if (!action->isSeparator() && !action->isEnabled())
                greyed.push_back(action->text().toStdString());
        app_->frame().contextMenu().hide();
        return greyed;
    }
    void FocusList() {
        app_->frame().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&app_->frame()));
        app_->view().setFocus();
    }

    FakeCommandDialogs fakeDialogs_;
};

TEST_F(CommandWindowTest, MenusContextMenuTrayAndKeysComeFromTheCommandTable) {
    Start();
    std::vector<std::string> lines;
    for (QAction* top : app_->frame().menuBar()->actions())
        Flatten(top->menu(), top->text() + ">", lines);
    EXPECT_THAT(
        lines,
        ElementsAre("&File>&Document>&Add...\tCtrl+A", "&File>&Document>&Copy...\tCtrl+C",
                    "&File>&Document>Dele&te...\tDel", "&File>&Document>-",
                    "&File>&Document>&Save As...", "&File>&Options...", "&File>-", "&File>E&xit",
                    "&Edit>&Mark as Checked", "&Edit>Mark &All as Checked\tESC", "&Edit>-",
                    "&Edit>&Select All\tCtrl+S", "&Edit>&Deselect All\tCtrl+D", "&Edit>-",
                    "&Edit>&Properties...\tCtrl+E", "&View>&Open\tDblClk", "&View>-",
                    "&View>Content &Header...", "&View>Compared &Data...",
                    "&View>Show &Changes...\tCtrl+H", "&View>-", "&View>&Toolbar",
                    "&View>&Status Bar", "&Check>Check &Selected\tF5", "&Check>Check &All\tCtrl+F5",
                    "&Help>Wardlet &Home", "&Help>User's &Manual", "&Help>On-line &Support",
                    "&Help>-", "&Help>&About Wardlet...\tF1"));
    std::vector<std::string> context;
    Flatten(&app_->frame().contextMenu(), "", context);
    EXPECT_THAT(context,
                ElementsAre("Mark as Checked", "Check Selected", "-", "View Content Header...",
                            "View Compared Data...", "Show Changes...", "-", "Open", "Add...",
                            "Copy...", "Delete...", "Save As...", "-", "Properties..."));
    std::vector<std::string> tray;
    Flatten(&app_->tray().menu(), "", tray);
    EXPECT_THAT(tray, ElementsAre("Activate", "Check All !", "-", "Options...", "-", "Exit"));

    std::map<std::string, std::string> keys;
    for (const CommandInfo& command : AllCommands()) {
        if (command.menuText.empty()) continue;
        QAction& action = app_->frame().action(command.id);
        if (!action.shortcut().isEmpty())
            keys[action.objectName().toStdString()] = action.shortcut().toString().toStdString();
    }
    EXPECT_THAT(keys,
                ElementsAre(std::pair<std::string, std::string>("actionAbout", "F1"),
                            std::pair<std::string, std::string>("actionAdd", "Ctrl+A"),
                            std::pair<std::string, std::string>("actionCheckAll", "Ctrl+F5"),
                            std::pair<std::string, std::string>("actionCheckSelected", "F5"),
                            std::pair<std::string, std::string>("actionCopy", "Ctrl+C"),
                            std::pair<std::string, std::string>("actionDelete", "Del"),
                            std::pair<std::string, std::string>("actionDeselectAll", "Ctrl+D"),
                            std::pair<std::string, std::string>("actionMarkAllChecked", "Esc"),
                            std::pair<std::string, std::string>("actionProperties", "Ctrl+E"),
                            std::pair<std::string, std::string>("actionSelectAll", "Ctrl+S"),
                            std::pair<std::string, std::string>("actionShowChanges", "Ctrl+H")));
    CMainFrame& frame = app_->frame();
    EXPECT_EQ(frame.action(CommandId::Delete).statusTip(), "Delete selected documents..");
    EXPECT_EQ(frame.action(CommandId::Toolbar).statusTip(), "Show or hide the toolbar");
    EXPECT_EQ(frame.action(CommandId::Toolbar).toolTip(), "Toggle ToolBar");
    EXPECT_EQ(frame.action(CommandId::Manual).statusTip().toStdString(),
              app_->commands().pages().manual);
}

TEST_F(CommandWindowTest, EnablingFollowsTheSelectionInMenusToolBarAndContextMenu) {
    for (const char* name : {"a", "b", "c"})
        WriteDocument(DocumentType::WebPage, name, "http://example.org/", DocumentStatus::Checked);
    Start();
    EXPECT_THAT(Greyed(), UnorderedElementsAre("actionProperties", "actionCopy", "actionDelete",
                                               "actionCheckSelected", "actionMarkChecked",
                                               "actionOpen", "actionSaveAs", "actionContentHeader",
                                               "actionComparedData", "actionShowChanges"));
    EXPECT_THAT(GreyedButtons(), ElementsAre("actionCheckSelected", "actionOpen"));
    EXPECT_THAT(GreyedInContextMenu(),
                ElementsAre("Mark as Checked", "Check Selected", "View Content Header...",
                            "View Compared Data...", "Show Changes...", "Open", "Copy...",
                            "Delete...", "Save As...", "Properties..."));
    // Show Changes wants a stored copy: "b" has none until one is written.
    SelectRows({1});
    EXPECT_THAT(Greyed(), ElementsAre("actionShowChanges"));
    EXPECT_TRUE(GreyedButtons().empty());
    EXPECT_THAT(GreyedInContextMenu(), ElementsAre("Show Changes..."));
    WriteBytes(data_ / "b.content", "stored");
    EXPECT_TRUE(GreyedInContextMenu().empty());  // opening the menu looks again
    EXPECT_TRUE(Greyed().empty());
    SelectRows({0, 2});
    EXPECT_THAT(Greyed(), UnorderedElementsAre("actionProperties", "actionCopy", "actionSaveAs",
                                               "actionContentHeader", "actionComparedData",
                                               "actionShowChanges"));
    EXPECT_TRUE(GreyedButtons().empty());
    EXPECT_THAT(GreyedInContextMenu(),
                ElementsAre("View Content Header...", "View Compared Data...", "Show Changes...",
                            "Copy...", "Save As...", "Properties..."));
}

TEST_F(CommandWindowTest, KeysWorkWhileTheListHasTheFocusAndGreyedOnesDoNothing) {
    HttpPeer peer;
    peer.SetPage("p", "page");
    for (const char* name : {"a", "b", "c"})
        WriteDocument(DocumentType::WebPage, name, peer.Url("p"), DocumentStatus::Changed);
    Start();
    FocusList();
    CWardletView& view = app_->view();
    QTest::keyClick(&view, Qt::Key_E, Qt::ControlModifier);  // Properties, greyed: nothing
    QTest::keyClick(&view, Qt::Key_Delete);                  // greyed: no question
    EXPECT_TRUE(fakeDialogs_.log.empty());
    EXPECT_TRUE(boxes_.shown.empty());
    QTest::keyClick(&view, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(view.SelectedCount(), 3u);
    QTest::keyClick(&view, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(view.SelectedCount(), 0u);
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);  // Add, not the list's select-all
    EXPECT_EQ(view.SelectedCount(), 0u);
    QTest::keyClick(&view, Qt::Key_F1);
    EXPECT_THAT(fakeDialogs_.log, ElementsAre("properties 0 -", "about"));

    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_EQ(Column(2), std::vector<std::string>(3, "Checked"));
    SelectRows({0});
    QTest::keyClick(&view, Qt::Key_F5);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return app_->doc().ChecksIdle() && Text(0, 2) == "Ready"; }, 20000));
    EXPECT_EQ(peer.Hits("p"), 1u);
    QTest::keyClick(&view, Qt::Key_F5, Qt::ControlModifier);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return peer.Hits("p") == 4 && app_->doc().ChecksIdle(); }, 20000));
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_E, Qt::ControlModifier);
    EXPECT_THAT(fakeDialogs_.log,
                ElementsAre("properties 0 -", "about",
                            "properties 2 " + std::to_string(*app_->view().FindRecordOfRow(0)),
                            "properties 1 " + std::to_string(*app_->view().FindRecordOfRow(0))));
    boxes_.SetNextAnswer(MessageAnswer::Yes);
    QTest::keyClick(&view, Qt::Key_Delete);
    EXPECT_THAT(boxes_.Texts(), ElementsAre(kConfirmDelete));
    EXPECT_EQ(app_->model().rowCount(), 2);
}

TEST_F(CommandWindowTest, ToolbarAndStatusBarCarryTheirCheckMarks) {
    Start();
    CMainFrame& frame = app_->frame();
    QAction& toolbar = frame.action(CommandId::Toolbar);
    QAction& status = frame.action(CommandId::StatusBar);
    EXPECT_TRUE(toolbar.isChecked());
    EXPECT_TRUE(status.isChecked());
    toolbar.trigger();
    status.trigger();
    EXPECT_FALSE(frame.toolBar().isVisible());
    EXPECT_FALSE(frame.statusBar()->isVisible());
    EXPECT_FALSE(toolbar.isChecked());
    EXPECT_FALSE(status.isChecked());
    toolbar.trigger();
    EXPECT_TRUE(frame.toolBar().isVisible());
    EXPECT_TRUE(toolbar.isChecked());
}

TEST_F(CommandWindowTest, StartupPromptsAddDocumentRunsAdd) {
    Start();
    app_->frame().startupPrompt = [] { return StartupAnswer::AddDocument; };
    app_->shell().OnTimer(TimerId::StartupPrompt);
    EXPECT_THAT(fakeDialogs_.log, ElementsAre("properties 0 -"));
}

TEST_F(WindowTest, AboutBoxShowsTheVersionAndCloses) {
    bool timedOut = false;
    bool seen = false;
    WatchModal(
        [&](QWidget* box) {
            EXPECT_EQ(box->windowTitle(), "Wardlet");
            auto* version = box->findChild<QLabel*>("aboutVersion");
            EXPECT_TRUE(version && version->text() == "7.0.4");
            auto* icon = box->findChild<QLabel*>("aboutIcon");
            EXPECT_TRUE(icon && !icon->pixmap().isNull());
            auto* close = box->findChild<QPushButton*>("close");
            EXPECT_TRUE(close && close->text() == "Close");
            seen = true;
            if (close) close->click();
            return true;
        },
        &timedOut);
    RunAboutBox(nullptr);
    EXPECT_TRUE(seen);
    EXPECT_FALSE(timedOut);
}

TEST_F(WindowTest, SaveAsDialogStartsInTheFolderAndAsksBeforeReplacing) {
    TempDir folder;
    WriteBytes(folder.path() / "there.txt", "old");
    bool timedOut = false;
    bool asked = false;
    bool accepted = false;
    WatchModal(
        [&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked = true;
                box->button(QMessageBox::Yes)->click();
                return true;
            }
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog) return false;
            EXPECT_EQ(dialog->windowTitle(), "Save As...");
            EXPECT_EQ(dialog->nameFilters(), QStringList{"All Files (*.*)"});
            EXPECT_EQ(dialog->directory().absolutePath().toStdString(), folder.path().string());
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            if (name && name->text() != "there.txt") name->setText("there.txt");
            // Queued: the question it asks is a modal of its own, answered on a later tick.
            if (!accepted) QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            accepted = true;
            return false;
        },
        &timedOut);
    auto chosen = RunSaveAsDialog(nullptr, folder.path());
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(asked);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, folder.path() / "there.txt");
}

TEST_F(WindowTest, EmailSettingsAreInForceWhenWrittenAndOneOptionsDialogAtATime) {
    Start();
    bool timedOut = false;
    int step = 0;
    int optionsShown = 0;
    std::string inForceWhileOpen;
    WatchModal(
        [&](QWidget* w) {
            if (w->windowTitle() == "Options") ++optionsShown;
            if (step == 0 && w->windowTitle() == "Options") {
                auto* send = w->findChild<QCheckBox*>("sendEmail");
                if (!send->isChecked()) send->click();
                QTimer::singleShot(0, w->findChild<QPushButton*>("emailPropertiesButton"),
                                   &QPushButton::click);
                step = 1;
            } else if (step == 1 && w->windowTitle() == "Email Properties") {
                w->findChild<QLineEdit*>("serverEdit")->setText("mail.example.com");
                w->findChild<QLineEdit*>("toEdit")->setText("me@example.com");
                w->findChild<QCheckBox*>("sendOnChangeCheck")->setChecked(true);
                w->findChild<QPushButton*>("applyButton")->click();
                step = 2;
            } else if (step == 2 && w->windowTitle() == "Options") {
                inForceWhileOpen = FieldText(app_->doc().mailConfig().smtpServer);
                step = 3;
                // "Options" from the tray while this dialog is open: refused, no second one.
                app_->tray().menu().findChild<QAction*>("trayOptions")->trigger();
                w->findChild<QPushButton*>("cancelButton")->click();
                return true;
            }
            return false;
        },
        &timedOut);
    app_->frame().action(CommandId::Options).trigger();
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(inForceWhileOpen, "mail.example.com");
    EXPECT_EQ(FieldText(app_->doc().mailConfig().smtpServer), "mail.example.com");
    EXPECT_EQ(step, 3);
}

// Save As and Open with the real background copies.
class CopyWindowTest : public WindowTest {
protected:
    CopyWindowTest() { dialogs_ = &fakeDialogs_; }
    FakeCommandDialogs fakeDialogs_;
};

TEST_F(CopyWindowTest, ABigSaveAsKeepsTheEventLoopTurning) {
    WriteDocument(DocumentType::LocalFile, "big", "/srv/big.bin", DocumentStatus::Checked);
    constexpr uintmax_t kSize = 200u << 20;
    WriteBytes(data_ / "big.content", "head");
    std::filesystem::resize_file(data_ / "big.content", kSize);  // sparse: quick to make
    Start();
    app_->view().selectionModel()->select(app_->model().index(0, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    TempDir target;
    fakeDialogs_.saveAs.push_back(target.path() / "big.bin");
    bool saving = false;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks += saving ? 1 : 0; });
    timer.start(5);
    saving = true;
    app_->frame().action(CommandId::SaveAs).trigger();
    saving = false;
    EXPECT_GT(ticks, 0) << "no timer fired during the copy";
    EXPECT_EQ(std::filesystem::file_size(target.path() / "big.bin"), kSize);
    EXPECT_EQ(ReadBytes(target.path() / "big.bin").substr(0, 4), "head");
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST(BackgroundCopiesTest, ALongCopyShowsItsProgressAndItsCancelStopsIt) {
    QtBackgroundCopies copies(nullptr);
    // A quick copy ends before any dialog shows.
    EXPECT_EQ(copies.Run("quick", [](const CopyProgress&) { return CopyOutcome::Done; }),
              CopyOutcome::Done);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    bool timedOut = false;
    QString label;
    WatchModal(
        [&](QWidget* w) {
            auto* dialog = qobject_cast<QProgressDialog*>(w);
            if (!dialog || dialog->objectName() != "copyProgressDialog") return false;
            if (dialog->value() <= 0) return false;  // until it shows how far the copy is
            label = dialog->labelText();
            EXPECT_EQ(dialog->windowTitle(), "Wardlet - Calvorne");
            dialog->findChild<QPushButton*>()->click();  // its only button: Cancel
            return true;
        },
        &timedOut);
    std::atomic<uint64_t> stoppedAt{0};
    CopyOutcome outcome = copies.Run(kSavingCaption, [&](const CopyProgress& progress) {
        // A slow disk: a block every millisecond until the user cancels.
        constexpr uint64_t kTotal = uint64_t(1) << 40;
        uint64_t done = 0;
        while (progress(done, kTotal) && done < kTotal) {
            done += uint64_t(1) << 24;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        stoppedAt = done;
        return done < kTotal ? CopyOutcome::Cancelled : CopyOutcome::Done;
    });
    EXPECT_FALSE(timedOut);
    EXPECT_EQ(outcome, CopyOutcome::Cancelled);
    EXPECT_EQ(label, kSavingCaption);
    EXPECT_GT(stoppedAt.load(), 0u);
}

TEST(SingleInstanceTest, AListenThatFailsIsSaidAndTheMonitorGoesOn) {
    TempDir data;
    // Something that is no socket where the socket goes: it cannot be replaced.
    std::filesystem::create_directory(data.path() / "Wardlet.instance");
    SingleInstance instance(data.path());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(instance.ListenOrReport());
    std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Wardlet: cannot listen for a second start"), std::string::npos) << said;
    EXPECT_TRUE(std::filesystem::is_directory(data.path() / "Wardlet.instance"));
}

TEST_F(WindowTest, ToolBarTipsAreThePlainCaptionWithoutTheKey) {
    Start();
    std::vector<std::string> tips;
    for (QAction* action : app_->frame().toolBar().actions()) {
        if (action->isSeparator()) continue;
        tips.push_back(action->toolTip().toStdString());
        if (QWidget* button = app_->frame().toolBar().widgetForAction(action)) {
            EXPECT_EQ(button->toolTip(), action->toolTip());
        }
    }
    EXPECT_THAT(tips, ElementsAre("Options", "Add", "Check Selected", "Open"));
    EXPECT_EQ(PlainCaption("Save &As...\tCtrl+S"), "Save As");
    EXPECT_EQ(PlainCaption("A && B"), "A & B");
}

TEST_F(WindowTest, TwoRecordsOfOneNameEachRefreshTheirOwnRow) {
    WriteDocument(DocumentType::WebPage, "twin", "http://example.org/a",
                  DocumentStatus::Unavailable);
    // A hand-made second file holding the same name.
    std::filesystem::copy_file(data_ / "twin.data", data_ / "twin again.data");
    Start();
    ASSERT_EQ(app_->model().rowCount(), 2);
    std::vector<size_t> twins;
    for (size_t row = 0; row < 2; ++row)
        twins.push_back(*app_->model().FindRecordOfRow(row));
    ASSERT_NE(twins[0], twins[1]);
    app_->doc().MarkChecked({twins[1]});
    EXPECT_EQ(Text(0, 2), "** Unable to retrieve");
    EXPECT_EQ(Text(1, 2), "Checked");
    EXPECT_EQ(app_->model().FindRowOfRecord(twins[1]), 1u);
    EXPECT_EQ(app_->model().FindRowOfRecord(twins[0]), 0u);
}

TEST_F(WindowTest, SaveAsListsFilesWithoutADot) {
    TempDir folder;
    WriteBytes(folder.path() / "README", "no dot");
    WriteBytes(folder.path() / "notes.txt", "a dot");
    bool timedOut = false;
    bool listed = false;
    WatchModal(
        [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* list = dialog ? dialog->findChild<QListView*>("listView") : nullptr;
            if (!list || !list->model()) return false;
            QStringList names;
            for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row)
                names << list->model()->index(row, 0, list->rootIndex()).data().toString();
            if (!names.contains("notes.txt")) return false;  // still loading the folder
            listed = names.contains("README");
            dialog->reject();
            return true;
        },
        &timedOut);
    EXPECT_FALSE(RunSaveAsDialog(nullptr, folder.path()).has_value());
    EXPECT_FALSE(timedOut);
    EXPECT_TRUE(listed);
}

TEST(InstalledManualTest, TheBuildPutsTheManualBesideTheProgram) {
    std::filesystem::path bin = QCoreApplication::applicationDirPath().toStdString();
    std::filesystem::path manual = ManualFile(bin);
    ASSERT_TRUE(std::filesystem::exists(manual)) << manual;
    std::string html = ReadBytes(manual);
    EXPECT_NE(html.find("<title>Wardlet User's Manual</title>"), std::string::npos);
    EXPECT_EQ(MakeHelpPages(bin).manual, "file://" + manual.string());
}

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
