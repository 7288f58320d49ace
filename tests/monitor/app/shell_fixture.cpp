#include "shell_fixture.h"

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/model/document_store.h"

namespace wardlet::test {

void UiQueue::RunAndWait(const std::function<void()>& call) {
    if (std::this_thread::get_id() == uiThread_) return call();
    std::mutex doneLock;
    std::condition_variable doneWake;
    bool done = false;
    Post([&] {
        call();
        std::lock_guard guard(doneLock);
        done = true;
        doneWake.notify_all();
    });
    std::unique_lock guard(doneLock);
    doneWake.wait(guard, [&] { return done; });
}

void UiQueue::Post(std::function<void()> call) {
    std::lock_guard guard(lock_);
    calls_.push_back(std::move(call));
    wake_.notify_all();
}

bool UiQueue::PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::function<void()> call;
        {
            // Conditions that no call changes (the engine's state) are looked at again soon.
            std::unique_lock guard(lock_);
            if (!wake_.wait_for(guard, std::chrono::milliseconds(20),
                                [&] { return !calls_.empty(); }))
                continue;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
    }
    return true;
}

void QueuedObserver::Relay(const std::function<void()>& call) {
    if (beforeCall) beforeCall();
    ui_.RunAndWait(call);
}

void FakeRows::RowChanged(size_t row) {
    const RowTexts& texts = list_.Texts(row);
    refreshed.push_back(texts.columns[0] + " " + texts.columns[2]);
}

void FakeRows::SelectRowOfRecord(size_t index) {
    if (auto row = list_.FindRowOfRecord(index)) selected.insert(*row);
}

void FakeRows::SetAllRowsSelected(bool on) {
    selected.clear();
    if (on)
        for (size_t row = 0; row < RowCount(); ++row)
            selected.insert(row);
}

void ShellLog::Start(TimerId id, std::chrono::milliseconds period) {
    running[id] = period;
    Log("start " + std::to_string(static_cast<int>(id)) + " " + std::to_string(period.count()));
}

void ShellLog::Stop(TimerId id) {
    // Only stops of running timers matter to the tests.
    if (running.erase(id)) Log("stop " + std::to_string(static_cast<int>(id)));
}

void ShellLog::ShowBalloon(std::string_view title, std::string_view text,
                           std::chrono::milliseconds timeout) {
    Log("balloon " + std::string(title) + "|" + std::string(text) + "|" +
        std::to_string(timeout.count()));
}

void ShellLog::Play(const std::optional<std::filesystem::path>& file) {
    Log("sound " + (file ? file->filename().string() : std::string("beep")));
}

void ShellLog::SetUpColumns() {
    Log("columns rows=" + std::to_string(rowCount ? rowCount() : 0));
}

StartupAnswer ShellLog::ShowStartupPrompt() {
    Log("prompt");
    return promptAnswer;
}

CopyOutcome ScriptedCopies::Run(std::string_view caption, CopyWork work) {
    captions.emplace_back(caption);
    CopyJob job([this, work = std::move(work)](const CopyProgress& progress) {
        threads.push_back(std::this_thread::get_id());
        return work(progress);
    });
    if (cancel) job.Cancel();
    return job.Wait();
}

uint32_t ShellLog::Show(const DesktopNotice& notice) {
    if (!noticeService) return 0;
    notices.push_back(notice);
    return notice.replacesId != 0 ? notice.replacesId : nextNoticeId++;
}

void ShellLog::Quit(ShutdownEnd end) {
    quit = end;
    Log(end == ShutdownEnd::ChecksStopped ? "quit stopped" : "quit still running");
}

ShellTest::ShellTest() : data_(home_.makeDataFolder()) {
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    setenv("NO_PROXY", "127.0.0.1,localhost", 1);
}

ShellTest::~ShellTest() {
    if (doc_) {
        // No check may be left waiting for this thread when the engine joins it.
        doc_->RequestStop();
        ui_.PumpUntil([&] { return doc_->ChecksIdle(); });
    }
    session_.reset();
    // The rows listen to the document object's list, which goes with it.
    rows_.reset();
    doc_.reset();
}

void ShellTest::WriteDocument(DocumentType type, const std::string& name,
                              const std::string& location, DocumentStatus status,
                              const std::function<void(DocumentRecord&)>& more) {
    DocumentRecord record{};
    record.type = static_cast<int32_t>(type);
    SetFieldText(record.name, name);
    SetFieldText(record.location, location);
    record.status = static_cast<int32_t>(status);
    if (more) more(record);
    // One table and store for all of a test's writes, kept for the test's life: short-lived ones
    // would hand their mutexes' addresses to the next, which the thread checker takes for one.
    if (!writeStore_) {
        writeTable_ = std::make_unique<DocumentTable>();
        writeStore_ = std::make_unique<DocumentStore>(data_, *writeTable_);
    }
    ASSERT_TRUE(writeStore_->SaveDocument(writeTable_->Add(record)));
}

void ShellTest::WriteOptions(const std::function<void(MonitorOptions&)>& change) {
    MonitorOptions options = DefaultOptions();
    change(options);
    ASSERT_TRUE(SaveOptions(data_, options));
}

void ShellTest::StartShell(bool hide) {
    doc_ = std::make_unique<CWardletDoc>(data_, install_.path());
    rows_ = std::make_unique<FakeRows>(doc_->rows());
    session_ = std::make_unique<MonitorSession>(
        MonitorShell::Parts{*doc_, *rows_, log_, log_, log_, boxes_, opener_, launcher_, log_,
                            copies_, log_, log_},
        dialogs_, [this](CheckObserver& shell) {
            auto observer = std::make_unique<QueuedObserver>(ui_, shell);
            observer_ = observer.get();
            return observer;
        });
    shell_ = &session_->shell();
    log_.rowCount = [this] { return rows_->RowCount(); };
    ASSERT_EQ(doc_->LockDataFolder(), FolderLock::Held);
    shell_->FirstUpdate();
    shell_->Start(hide);
}

size_t ShellTest::IndexOf(const std::string& name) {
    return doc_->FindDocument(name);
}

DocumentStatus ShellTest::StatusOf(const std::string& name) {
    return wardlet::StatusOf(doc_->Record(IndexOf(name)));
}

DocumentRecord ShellTest::OnDisk(const std::string& name) {
    std::string bytes = ReadBytes(data_ / (name + ".data"));
    RecordBytes raw{};
    EXPECT_EQ(bytes.size(), raw.size()) << name;
    memcpy(raw.data(), bytes.data(), std::min(bytes.size(), raw.size()));
    return RecordFromBytes(raw);
}

}  // namespace wardlet::test
