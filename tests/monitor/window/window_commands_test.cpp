#include "window_fixture.h"

namespace wardlet::test {
namespace {

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
    frameDesktop_.answer = StartupAnswer::AddDocument;
    app_->shell().OnTimer(TimerId::StartupPrompt);
    EXPECT_THAT(fakeDialogs_.log, ElementsAre("properties 0 -"));
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

}  // namespace
}  // namespace wardlet::test
