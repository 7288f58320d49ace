#pragma once

#include <QAction>
#include <QMainWindow>
#include <map>
#include <utility>
#include <vector>

#include "monitor/app/command_table.h"
#include "monitor/app/document_commands.h"
#include "monitor/app/shell_interfaces.h"
#include "monitor/window/wardlet_view.h"

class QMenu;
class QToolBar;

namespace wardlet {

// What the frame leaves to the program around it: the start-up question asked with the real
// dialog and the end of the event loop, or a test's answers to both.
class FrameDesktop {
public:
    virtual ~FrameDesktop() = default;
    virtual StartupAnswer AskStartupQuestion(QWidget* parent) = 0;
    virtual void EndProgram(ShutdownEnd end) = 0;
};

class QtFrameDesktop : public FrameDesktop {
public:
    StartupAnswer AskStartupQuestion(QWidget* parent) override;
    // With a check thread stuck (the records are saved), ends without waiting for it.
    void EndProgram(ShutdownEnd end) override;
};

// The main window: title, program icon, menu bar, tool bar, status bar, the list view filling it
// and its context menu, all built from the command table. Every action signals its command
// (commandTriggered); which ones are enabled follows the list's selection. The close box and
// minimising are signalled too; the application decides what they do.
class CMainFrame : public QMainWindow, public ShellWindow {
    Q_OBJECT
public:
    CMainFrame(DocumentListModel& model, FrameDesktop& desktop);

    CWardletView& view() { return *view_; }
    QToolBar& toolBar() { return *toolBar_; }
    // The menu bar's (and tool bar's) action of a command.
    QAction& action(CommandId id) { return *actions_.at(id); }
    QMenu& contextMenu() { return *contextMenu_; }
    // The help items show their page's address in the status bar.
    void SetHelpPages(const HelpPages& pages);
    // The rules of enabling that need the documents (a stored copy); without them, counts only.
    void UseCommandRules(DocumentCommands* commands) { commands_ = commands; }
    // Every action enabled or greyed by the selection (it changed, a menu opens).
    void RefreshEnabling();
    // The context menu as a right-click opens it: enabling set first.
    void PopUpContextMenu(const QPoint& globalPosition);

    void SetUpColumns() override { view_->SetUpColumns(); }
    StartupAnswer ShowStartupPrompt() override;
    void BringForward() override;
    void CloseMessageBoxes() override;
    void HideForExit() override;
    void ShowStatusText(std::string_view text) override;
    void Quit(ShutdownEnd end) override;

signals:
    // An action of a command was triggered (menu, tool bar, context menu or key).
    void commandTriggered(CommandId id);
    // The close box: the program is to end.
    void closeRequested();
    void minimized();
    void restored();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QAction* NewAction(const CommandInfo& command);
    void BuildMenus();
    QMenu* BuildMenu(QMenu* menu, const MenuLayout& layout);
    void BuildContextMenu();
    void Trigger(CommandId id);

    FrameDesktop& desktop_;
    CWardletView* view_;
    QToolBar* toolBar_;
    QMenu* contextMenu_ = nullptr;
    DocumentCommands* commands_ = nullptr;
    std::map<CommandId, QAction*> actions_;
    std::vector<std::pair<CommandId, QAction*>> contextActions_;
};

}  // namespace wardlet
