#pragma once

#include <QAction>
#include <QMainWindow>
#include <functional>
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

// The main window: title, program icon, menu bar, tool bar, status bar, the list view filling it
// and its context menu, all built from the command table. Every action hands its command to
// `runCommand`; which ones are enabled follows the list's selection. Closing the window ends the
// program; minimising it hides it when a tray can bring it back.
class CMainFrame : public QMainWindow, public ShellWindow {
    Q_OBJECT
public:
    explicit CMainFrame(DocumentListModel& model);

    CWardletView& view() { return *view_; }
    QToolBar& toolBar() { return *toolBar_; }
    // The menu bar's (and tool bar's) action of a command.
    QAction& action(CommandId id) { return *actions_.at(id); }
    QMenu& contextMenu() { return *contextMenu_; }
    // The help items show their page's address in the status bar.
    void SetHelpPages(const HelpPages& pages);
    // Every action enabled or greyed by the selection (it changed, a menu opens).
    void RefreshEnabling();
    // The context menu as a right-click opens it: enabling set first.
    void PopUpContextMenu(const QPoint& globalPosition);

    void SetUpColumns() override { view_->SetUpColumns(); }
    StartupAnswer ShowStartupPrompt() override;
    void BringForward() override;
    void CloseMessageBoxes() override;
    void HideForExit() override;
    void Quit(ShutdownEnd end) override;

    // Filled by the application object; tests replace the prompt and the quit.
    std::function<void(CommandId)> runCommand;
    std::function<void()> onCloseRequest;
    std::function<void()> onMinimized;
    std::function<void()> onRestored;
    std::function<bool()> hidesWhenMinimized;
    std::function<StartupAnswer()> startupPrompt;
    std::function<void(ShutdownEnd)> quit;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QAction* NewAction(const CommandInfo& command);
    void BuildMenus();
    QMenu* BuildMenu(QMenu* menu, const MenuLayout& layout);
    void BuildContextMenu();
    void Trigger(CommandId id);

    CWardletView* view_;
    QToolBar* toolBar_;
    QMenu* contextMenu_ = nullptr;
    std::map<CommandId, QAction*> actions_;
    std::vector<std::pair<CommandId, QAction*>> contextActions_;
};

}  // namespace wardlet
