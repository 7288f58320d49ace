#pragma once

#include <QAction>
#include <QMainWindow>
#include <functional>

#include "monitor/app/shell_interfaces.h"
#include "monitor/app/window/wardlet_view.h"

class QToolBar;

namespace wardlet {

// The "Startup Notification" dialog: the program icon, its text, "Add Document >" and "Cancel".
StartupAnswer RunStartupPrompt(QWidget* parent);

// The main window: title, program icon, menu bar, tool bar, status bar, and the list view filling
// it. Closing it ends the program; minimising it hides it when a tray can bring it back.
class CMainFrame : public QMainWindow, public ShellWindow {
    Q_OBJECT
public:
    explicit CMainFrame(DocumentListModel& model);

    CWardletView& view() { return *view_; }
    QToolBar& toolBar() { return *toolBar_; }
    QAction& actionOptions() { return *options_; }
    QAction& actionAdd() { return *add_; }
    QAction& actionCheckSelected() { return *checkSelected_; }
    QAction& actionOpen() { return *open_; }
    QAction& actionExit() { return *exit_; }

    void SetUpColumns() override { view_->SetUpColumns(); }
    StartupAnswer ShowStartupPrompt() override;
    void BringForward() override;
    void CloseMessageBoxes() override;
    void Quit(ShutdownEnd end) override;

    // Filled by the application object; tests replace the prompt and the quit.
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
    QAction* NewAction(const char* objectName, const QString& text, const char* prompt,
                       const char* image = nullptr);

    CWardletView* view_;
    QToolBar* toolBar_;
    QAction* options_;
    QAction* add_;
    QAction* checkSelected_;
    QAction* open_;
    QAction* exit_;
};

}  // namespace wardlet
