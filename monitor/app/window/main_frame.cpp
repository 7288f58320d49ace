#include "monitor/app/window/main_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
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

namespace wardlet {
namespace {

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addFile(QString(":/wardlet/wardlet_%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace

StartupAnswer RunStartupPrompt(QWidget* parent) {
    QDialog dialog(parent);
    dialog.setObjectName("startupPrompt");
    dialog.setWindowTitle("Startup Notification");
    dialog.setWindowIcon(ProgramIcon());
    auto* picture = new QLabel;
    picture->setPixmap(ProgramIcon().pixmap(32, 32));
    auto* text = new QLabel("To start monitoring, you need to add a document first.");
    auto* add = new QPushButton("Add Document >");
    add->setObjectName("addDocument");
    add->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("cancel");
    QObject::connect(add, &QPushButton::clicked, &dialog, [&] { dialog.done(1); });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, [&] { dialog.done(0); });
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addWidget(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(add);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(top);
    layout->addLayout(buttons);
    return dialog.exec() == 1 ? StartupAnswer::AddDocument : StartupAnswer::Cancel;
}

CMainFrame::CMainFrame(DocumentListModel& model) {
    setObjectName("mainFrame");
    setWindowTitle(QString::fromLatin1(kMonitorTitle));
    setWindowIcon(ProgramIcon());
    view_ = new CWardletView(model, this);
    setCentralWidget(view_);

    options_ = NewAction("actionOptions", "&Options...", "Change the application's options..",
                         "tool_options");
    add_ = NewAction("actionAdd", "&Add...", "Add new document.", "tool_add");
    checkSelected_ = NewAction("actionCheckSelected", "Check &Selected",
                               "Check changes of selected documents.", "tool_check");
    open_ = NewAction("actionOpen", "&Open", "Open selected document.", "tool_open");
    exit_ = NewAction("actionExit", "E&xit", "Quit Wardlet.");
    connect(exit_, &QAction::triggered, this, [this] {
        if (onCloseRequest) onCloseRequest();
    });

    toolBar_ = new QToolBar("Toolbar", this);
    toolBar_->setObjectName("toolBar");
    toolBar_->setIconSize(QSize(42, 42));
    toolBar_->addAction(options_);
    toolBar_->addSeparator();
    toolBar_->addAction(add_);
    toolBar_->addAction(checkSelected_);
    toolBar_->addAction(open_);
    addToolBar(Qt::TopToolBarArea, toolBar_);

    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("menuFile");
    file->addAction(options_);
    file->addSeparator();
    file->addAction(exit_);
    QMenu* viewMenu = menuBar()->addMenu("&View");
    viewMenu->setObjectName("menuView");
    QAction* toolBarToggle = toolBar_->toggleViewAction();
    toolBarToggle->setObjectName("actionToolbar");
    toolBarToggle->setText("&Toolbar");
    toolBarToggle->setStatusTip("Show or hide the toolbar");
    viewMenu->addAction(toolBarToggle);
    QAction* statusToggle =
        NewAction("actionStatusBar", "&Status Bar", "Show or hide the status bar");
    statusToggle->setCheckable(true);
    statusToggle->setChecked(true);
    connect(statusToggle, &QAction::toggled, statusBar(), &QStatusBar::setVisible);
    viewMenu->addAction(statusToggle);

    statusBar()->setObjectName("statusBar");
    // The pane says "Ready" whenever no prompt is shown.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty()) statusBar()->showMessage("Ready");
    });
    statusBar()->showMessage("Ready");
    resize(760, 460);
}

QAction* CMainFrame::NewAction(const char* objectName, const QString& text, const char* prompt,
                               const char* image) {
    auto* action = new QAction(text, this);
    action->setObjectName(objectName);
    action->setStatusTip(QString::fromLatin1(prompt));
    if (image) action->setIcon(QIcon(QString(":/wardlet/%1.png").arg(image)));
    return action;
}

StartupAnswer CMainFrame::ShowStartupPrompt() {
    return startupPrompt ? startupPrompt() : RunStartupPrompt(this);
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

void CMainFrame::Quit(ShutdownEnd end) {
    if (quit) return quit(end);
    if (end == ShutdownEnd::ChecksStopped) return QCoreApplication::exit(0);
    // A check thread is stuck (the records are saved): end without waiting for it.
    fflush(nullptr);
    std::_Exit(0);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The close box ends the program; the exit itself quits the event loop.
    event->ignore();
    if (onCloseRequest) onCloseRequest();
}

void CMainFrame::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange) return;
    if (isMinimized()) {
        if (onMinimized) onMinimized();
        // Hidden only when a tray icon can bring it back; otherwise it stays in the task bar.
        if (hidesWhenMinimized && hidesWhenMinimized()) QTimer::singleShot(0, this, &QWidget::hide);
    } else if (onRestored) {
        onRestored();
    }
}

}  // namespace wardlet
