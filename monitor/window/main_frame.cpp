#include "monitor/window/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <cstdio>
#include <cstdlib>

#include "common/desktop_services.h"
#include "monitor/dialogs/about_box.h"
#include "monitor/dialogs/startup_prompt.h"

namespace wardlet {
CMainFrame::CMainFrame(DocumentListModel& model, FrameDesktop& desktop) : desktop_(desktop) {
    setObjectName("mainFrame");
    setWindowTitle(QString::fromLatin1(kMonitorTitle));
    setWindowIcon(ProgramIcon());
    view_ = new CWardletView(model, this);
    setCentralWidget(view_);

    toolBar_ = new QToolBar("Toolbar", this);
    toolBar_->setObjectName("toolBar");
    toolBar_->setIconSize(QSize(42, 42));
    // Shown and hidden by View > Toolbar only, so its check mark always tells the truth.
    toolBar_->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, toolBar_);

    for (const CommandInfo& command : AllCommands())
        if (!command.menuText.empty()) actions_[command.id] = NewAction(command);
    QAction* toolBarToggle = actions_.at(CommandId::Toolbar);
    QAction* statusToggle = actions_.at(CommandId::StatusBar);
    for (QAction* toggle : {toolBarToggle, statusToggle}) {
        toggle->setCheckable(true);
        toggle->setChecked(true);
    }
    connect(toolBarToggle, &QAction::toggled, toolBar_, &QToolBar::setVisible);
    connect(statusToggle, &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });

    static const std::map<CommandId, const char*> kButtonImages = {
        {CommandId::Options, "tool_options"},
        {CommandId::Add, "tool_add"},
        {CommandId::CheckSelected, "tool_check"},
        {CommandId::Open, "tool_open"}};
    for (CommandId id : ToolBarLayout()) {
        if (id == kSeparator) {
            toolBar_->addSeparator();
            continue;
        }
        QAction* button = actions_.at(id);
        button->setIcon(QIcon(QString(":/wardlet/%1.png").arg(kButtonImages.at(id))));
        toolBar_->addAction(button);
    }
    BuildMenus();
    BuildContextMenu();

    statusBar()->setObjectName("statusBar");
    // The pane says "Ready" whenever no prompt is shown.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty()) statusBar()->showMessage("Ready");
    });
    statusBar()->showMessage("Ready");

    // Enabling follows the selection; rows that come and go change it too.
    auto refresh = [this] { RefreshEnabling(); };
    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this, refresh);
    connect(&model, &QAbstractItemModel::rowsInserted, this, refresh);
    connect(&model, &QAbstractItemModel::rowsRemoved, this, refresh);
    connect(&model, &QAbstractItemModel::modelReset, this, refresh);
    resize(760, 460);
}

QAction* CMainFrame::NewAction(const CommandInfo& command) {
    auto* action = new QAction(
        QString::fromUtf8(command.menuText.data(), static_cast<int>(command.menuText.size())),
        this);
    action->setObjectName(QString::fromLatin1(command.objectName.data(),
                                              static_cast<int>(command.objectName.size())));
    QString prompt =
        QString::fromLatin1(command.prompt.data(), static_cast<int>(command.prompt.size()));
    action->setStatusTip(prompt.section('\n', 0, 0));
    // Without a tip of its own a button would show the menu text with its key after a tab.
    action->setToolTip(prompt.contains('\n')
                           ? prompt.section('\n', 1)
                           : QString::fromStdString(PlainCaption(command.menuText)));
    if (!command.shortcut.empty()) {
        action->setShortcut(QKeySequence(QString::fromLatin1(
            command.shortcut.data(), static_cast<int>(command.shortcut.size()))));
        // Window-wide: the keys work whichever child has the focus, the list included.
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }
    CommandId id = command.id;
    if (id != CommandId::Toolbar && id != CommandId::StatusBar)
        connect(action, &QAction::triggered, this, [this, id] { Trigger(id); });
    return action;
}

void CMainFrame::Trigger(CommandId id) {
    // The command itself refuses to run while it is not enabled, whichever way it was reached.
    emit commandTriggered(id);
}

QMenu* CMainFrame::BuildMenu(QMenu* menu, const MenuLayout& layout) {
    menu->setObjectName(
        QString::fromLatin1(layout.objectName.data(), static_cast<int>(layout.objectName.size())));
    for (CommandId id : layout.items) {
        if (id == kSeparator) {
            menu->addSeparator();
        } else if (id == kDocumentSubmenu) {
            const MenuLayout& sub = DocumentMenuLayout();
            BuildMenu(menu->addMenu(QString::fromLatin1(sub.caption.data(),
                                                        static_cast<int>(sub.caption.size()))),
                      sub);
        } else {
            menu->addAction(actions_.at(id));
        }
    }
    // The framework's refresh before a menu shows.
    connect(menu, &QMenu::aboutToShow, this, [this] { RefreshEnabling(); });
    return menu;
}

void CMainFrame::BuildMenus() {
    for (const MenuLayout& layout : MenuBarLayout())
        BuildMenu(menuBar()->addMenu(QString::fromLatin1(layout.caption.data(),
                                                         static_cast<int>(layout.caption.size()))),
                  layout);
}

void CMainFrame::BuildContextMenu() {
    contextMenu_ = new QMenu(this);
    contextMenu_->setObjectName("contextMenu");
    for (const ContextItem& item : ContextMenuLayout()) {
        if (item.id == kSeparator) {
            contextMenu_->addSeparator();
            continue;
        }
        QAction* action = contextMenu_->addAction(
            QString::fromLatin1(item.text.data(), static_cast<int>(item.text.size())));
        action->setObjectName("context" + actions_.at(item.id)->objectName().mid(6));
        action->setStatusTip(actions_.at(item.id)->statusTip());
        CommandId id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { Trigger(id); });
        contextActions_.emplace_back(id, action);
    }
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopUpContextMenu(view_->viewport()->mapToGlobal(at)); });
}

void CMainFrame::PopUpContextMenu(const QPoint& globalPosition) {
    RefreshEnabling();
    contextMenu_->popup(globalPosition);
}

void CMainFrame::RefreshEnabling() {
    // One count for all of them: with thousands of rows selected, counting is the cost.
    size_t selected = view_->SelectedCount();
    auto enabled = [&](CommandId id) {
        return commands_ ? commands_->IsEnabled(id, selected) : IsEnabledFor(id, selected);
    };
    for (auto& [id, action] : actions_)
        action->setEnabled(enabled(id));
    for (auto& [id, action] : contextActions_)
        action->setEnabled(enabled(id));
}

void CMainFrame::SetHelpPages(const HelpPages& pages) {
    actions_.at(CommandId::HomePage)->setStatusTip(QString::fromStdString(pages.home));
    actions_.at(CommandId::Manual)->setStatusTip(QString::fromStdString(pages.manual));
    actions_.at(CommandId::Support)->setStatusTip(QString::fromStdString(pages.support));
}

StartupAnswer QtFrameDesktop::AskStartupQuestion(QWidget* parent) {
    return RunStartupPrompt(parent);
}

void QtFrameDesktop::EndProgram(ShutdownEnd end) {
    if (end == ShutdownEnd::ChecksStopped) return QCoreApplication::exit(0);
    fflush(nullptr);
    std::_Exit(0);
}

StartupAnswer CMainFrame::ShowStartupPrompt() {
    return desktop_.AskStartupQuestion(this);
}

void CMainFrame::BringForward() {
    if (isMinimized() || isHidden())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void CMainFrame::CloseMessageBoxes() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) box->reject();
}

void CMainFrame::HideForExit() {
    hide();
}

void CMainFrame::ShowStatusText(std::string_view text) {
    statusBar()->showMessage(QString::fromLocal8Bit(text.data(), qsizetype(text.size())));
}

void CMainFrame::Quit(ShutdownEnd end) {
    desktop_.EndProgram(end);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The close box ends the program; the exit itself quits the event loop.
    event->ignore();
    emit closeRequested();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (isMinimized())
        emit minimized();
    else
        emit restored();
}

}  // namespace wardlet
