#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "fake_command_dialogs.h"
#include "monitor/app/copy_job.h"
#include "monitor/app/document_row_list.h"
#include "monitor/app/monitor_session.h"
#include "monitor/app/monitor_shell.h"
#include "monitor/app/wardlet_doc.h"
#include "scripted_desktop.h"
#include "temp_home.h"

namespace wardlet::test {

// The user-interface thread of a test: check threads hand it calls and wait for them, as the
// window's observer does, and the test thread runs them while it waits for a condition.
class UiQueue {
public:
    // Runs `call` on the test thread and waits for it; directly when already there.
    void RunAndWait(const std::function<void()>& call);
    // From any thread: runs `call` on the test thread later, without waiting.
    void Post(std::function<void()> call);
    // Runs the handed calls until `done` holds; false when `timeout` passed first.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    const std::thread::id uiThread_ = std::this_thread::get_id();
    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> calls_;
};

// The checks' observer of the tests: every call goes through the UiQueue to the shell.
class QueuedObserver : public UiThreadRelay {
public:
    QueuedObserver(UiQueue& ui, CheckObserver& shell) : UiThreadRelay(shell), ui_(ui) {}
    void Post(std::function<void()> call) override { ui_.Post(std::move(call)); }

    // Runs on the check thread before each call is handed over (a test can hold a check here).
    std::function<void()> beforeCall;

protected:
    void Relay(const std::function<void()>& call) override;

private:
    UiQueue& ui_;
};

// The document object's rows as the window's view shows them, with a selection and the status
// history of every row redrawn.
class FakeRows : public DocumentRows, private RowListListener {
public:
    explicit FakeRows(DocumentRowList& list) : list_(list) { list_.SetListener(this); }
    ~FakeRows() override { list_.SetListener(nullptr); }
    std::optional<size_t> FindRecordOfRow(size_t row) override {
        return list_.FindRecordOfRow(row);
    }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        return list_.FindRowOfRecord(index);
    }
    void RefreshRow(size_t index) override { list_.RefreshRow(index); }
    void SelectRowOfRecord(size_t index) override;
    bool IsRowSelected(size_t row) override { return selected.count(row) != 0; }
    size_t SelectedCount() override { return selected.size(); }
    size_t RowCount() override { return list_.size(); }
    void SetAllRowsSelected(bool on) override;

    std::set<size_t> selected;
    std::vector<std::string> refreshed;  // "name status text", in order

private:
    void RowAboutToBeInserted(size_t) override {}
    void RowInserted() override {}
    void RowChanged(size_t row) override;
    void RowAboutToBeRemoved(size_t) override {}
    void RowRemoved() override {}
    void RowsAboutToBeReordered() override {}
    void RowsReordered(const std::vector<size_t>&) override {}

    DocumentRowList& list_;
};

// Every call of the timers, tray, sound and window, in one log ("start 3 2000", "tray add", ...);
// the desktop notifications shown, apart, with ids as a notification service gives them; the
// clock, which stands still unless a test moves it.
class ShellLog : public ShellTimers,
                 public TrayIcon,
                 public SoundPlayer,
                 public ShellWindow,
                 public DesktopNotifications,
                 public SteadyClock {
public:
    void Start(TimerId id, std::chrono::milliseconds period) override;
    void Stop(TimerId id) override;
    bool Available() override { return trayAvailable; }
    void Add() override { Log("tray add"); }
    void Remove() override { Log("tray remove"); }
    void SetImage(TrayImage image) override {
        Log(image == TrayImage::Normal ? "tray normal" : "tray blank");
    }
    void ShowBalloon(std::string_view title, std::string_view text,
                     std::chrono::milliseconds timeout) override;
    void Play(const std::optional<std::filesystem::path>& file) override;
    void SetUpColumns() override;
    StartupAnswer ShowStartupPrompt() override;
    void BringForward() override { Log("forward"); }
    void CloseMessageBoxes() override { Log("close boxes"); }
    void HideForExit() override { Log("hide"); }
    void Quit(ShutdownEnd end) override;
    uint32_t Show(const DesktopNotice& notice) override;
    std::chrono::steady_clock::time_point Now() override { return now; }

    bool Running(TimerId id) const { return running.count(id) != 0; }
    std::vector<std::string> Take() { return std::exchange(entries, {}); }
    void Log(std::string entry) { entries.push_back(std::move(entry)); }

    std::vector<std::string> entries;
    std::map<TimerId, std::chrono::milliseconds> running;
    bool trayAvailable = true;
    StartupAnswer promptAnswer = StartupAnswer::Cancel;
    std::function<size_t()> rowCount;  // rows at the time the columns are set up
    std::optional<ShutdownEnd> quit;
    std::vector<DesktopNotice> notices;
    bool noticeService = true;  // false: no bus or service, nothing is shown
    uint32_t nextNoticeId = 1;
    std::chrono::steady_clock::time_point now{};
};

// Copies run on a thread of their own as the window runs them, the test thread waiting; with
// `cancel` the user cancels each one before its first block.
class ScriptedCopies : public BackgroundCopies {
public:
    CopyOutcome Run(std::string_view caption, CopyWork work) override;
    std::vector<std::string> captions;
    std::vector<std::thread::id> threads;  // where each copy ran
    bool cancel = false;
};

// A data folder with documents on disk, and a shell over a document object wired as the window
// wires it, with the test thread as its user-interface thread.
class ShellTest : public ::testing::Test {
protected:
    ShellTest();
    ~ShellTest() override;

    // Writes a ".data" file as an earlier run left it.
    void WriteDocument(DocumentType type, const std::string& name, const std::string& location,
                       DocumentStatus status = DocumentStatus::Checked,
                       const std::function<void(DocumentRecord&)>& more = {});
    void WriteOptions(const std::function<void(MonitorOptions&)>& change);
    // Creates the shell over the data folder and runs its first update.
    void StartShell(bool hide = false);
    size_t IndexOf(const std::string& name);
    DocumentStatus StatusOf(const std::string& name);
    // The ".data" file of a document as it is on disk.
    DocumentRecord OnDisk(const std::string& name);

    TempDataHome home_;
    std::filesystem::path data_;
    TempDir install_;
    UiQueue ui_;
    ShellLog log_;
    ScriptedMessageBoxes boxes_;
    RecordingOpener opener_;
    RecordingLauncher launcher_;
    ScriptedCopies copies_;
    std::unique_ptr<DocumentTable> writeTable_;
    std::unique_ptr<DocumentStore> writeStore_;
    FakeCommandDialogs dialogs_;
    std::unique_ptr<CWardletDoc> doc_;
    std::unique_ptr<FakeRows> rows_;
    std::unique_ptr<MonitorSession> session_;
    // The session's parts, for the tests' calls.
    MonitorShell* shell_ = nullptr;
    QueuedObserver* observer_ = nullptr;
};

}  // namespace wardlet::test
