#pragma once

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
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

// The start-up question answered by the test (or by the real dialog on request), and the end of
// the program recorded instead of ending the test.
class ScriptedFrameDesktop : public FrameDesktop {
public:
    StartupAnswer AskStartupQuestion(QWidget* parent) override {
        ++prompts;
        return realPrompt ? QtFrameDesktop().AskStartupQuestion(parent) : answer;
    }
    void EndProgram(ShutdownEnd end) override { ended = end; }

    bool realPrompt = false;
    StartupAnswer answer = StartupAnswer::Cancel;
    int prompts = 0;
    std::optional<ShutdownEnd> ended;
};

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
            CWardletApp::Desktop{boxes_, opener_, launcher ? *launcher : launcher_, dialogs_,
                                 nullptr, &frameDesktop_},
            QuickLimits());
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
    ScriptedFrameDesktop frameDesktop_;
    std::unique_ptr<CWardletApp> app_;
};

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

}  // namespace wardlet::test
