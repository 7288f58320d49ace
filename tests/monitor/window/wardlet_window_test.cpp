#include "qt_test_main.h"
#include "window_fixture.h"

namespace wardlet::test {
namespace {

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
    EXPECT_EQ(frameDesktop_.prompts, 0);
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
    frameDesktop_.realPrompt = true;
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
    ASSERT_TRUE(frameDesktop_.ended.has_value());
    EXPECT_EQ(*frameDesktop_.ended, ShutdownEnd::ChecksStopped);
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

}  // namespace
}  // namespace wardlet::test

WARDLET_QT_TEST_MAIN
