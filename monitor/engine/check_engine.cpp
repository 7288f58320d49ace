#include "monitor/engine/check_engine.h"

#include <system_error>

#include "common/debug_log.h"
#include "monitor/engine/document_check.h"
#include "monitor/engine/transfer.h"

namespace wardlet {
namespace {

bool Is(int32_t status, DocumentStatus s) {
    return status == static_cast<int32_t>(s);
}

}  // namespace

// Once the engine is stopping, the findings of checks still running concern a program that is
// ending: they must not reach its window (a sound, a message box or an opened page during exit).
class CheckEngine::StopGate : public CheckObserver {
public:
    StopGate(CheckObserver& inner, const std::atomic<bool>& stopping)
        : inner_(inner), stopping_(stopping) {}
    void RefreshRow(size_t index) override { inner_.RefreshRow(index); }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        return inner_.FindRowOfRecord(index);
    }
    void SelectRowOfRecord(size_t index) override {
        if (Open()) inner_.SelectRowOfRecord(index);
    }
    void PlaySound(NotifyKind kind) override {
        if (Open()) inner_.PlaySound(kind);
    }
    void TrayAlert(size_t index, NotifyKind kind, std::optional<ChangedLineCount> lines) override {
        if (Open()) inner_.TrayAlert(index, kind, lines);
    }
    void ShowMessage(std::string_view text) override {
        if (Open()) inner_.ShowMessage(text);
    }
    void OpenDocument(size_t index) override {
        if (Open()) inner_.OpenDocument(index);
    }
    void CheckEnded(size_t index, const DocumentRecord& record) override {
        inner_.CheckEnded(index, record);
    }
    void CheckNote(size_t index, std::string_view text) override {
        if (Open()) inner_.CheckNote(index, text);
    }

private:
    bool Open() const { return !stopping_.load(); }
    CheckObserver& inner_;
    const std::atomic<bool>& stopping_;
};

CheckEngine::CheckEngine(DocumentStore& store, EngineSettings& settings, CheckObserver& observer,
                         TransferLimits limits)
    : store_(store),
      settings_(settings),
      observer_(observer),
      gate_(std::make_unique<StopGate>(observer, stopping_)),
      limits_(std::move(limits)),
      mail_(store.dataFolder()),
      validators_(store) {
    InitTransfers();
}

CheckEngine::~CheckEngine() {
    Stop();
}

void CheckEngine::StartCheckThreads() {
    int32_t count = settings_.CorrectedThreadCount();
    std::vector<std::thread> finished;
    {
        std::lock_guard guard(workersLock_);
        JoinFinishedLocked(finished);
        for (int32_t i = 0; i < count && !stopping_.load(); ++i) {
            Worker& worker = workers_.emplace_back();
            try {
                worker.thread = std::thread(&CheckEngine::CheckThreadProc, this, &worker);
                ++running_;
            } catch (...) {
                // No thread to be had: the records stay Waiting for the next trigger.
                workers_.pop_back();
                DebugLog("a check thread could not be started");
                break;
            }
        }
    }
    for (auto& thread : finished)
        thread.join();
}

void CheckEngine::JoinFinishedLocked(std::vector<std::thread>& finished) {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->done) {
            finished.push_back(std::move(it->thread));
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void CheckEngine::QueueAllForCheck() {
    DocumentTable& table = store_.table();
    auto queueable = [](const DocumentRecord& r) {
        return r.name[0] != '\0' && !Is(r.status, DocumentStatus::Changed) &&
               !Is(r.status, DocumentStatus::Retrieving);
    };
    for (size_t i = 0; i < table.size(); ++i) {
        // Only a record that would be queued is looked up in the list.
        bool candidate = false;
        table.Modify(i, [&](DocumentRecord& r) { candidate = queueable(r); });
        if (!candidate || !observer_.FindRowOfRecord(i)) continue;
        bool queued = false;
        table.Modify(i, [&](DocumentRecord& r) {
            if (!queueable(r)) return;
            SetStatus(r, DocumentStatus::Waiting);
            queued = true;
        });
        if (queued) observer_.RefreshRow(i);
    }
    StartCheckThreads();
}

void CheckEngine::CheckSelected(const std::vector<size_t>& indexes) {
    DocumentTable& table = store_.table();
    for (size_t i : indexes) {
        if (i >= table.size() || table.IsFree(i)) continue;
        bool queued = false;
        table.Modify(i, [&](DocumentRecord& r) {
            if (Is(r.status, DocumentStatus::Changed) || Is(r.status, DocumentStatus::Retrieving) ||
                Is(r.status, DocumentStatus::Waiting))
                return;
            SetStatus(r, DocumentStatus::Waiting);
            queued = true;
        });
        if (queued) observer_.RefreshRow(i);
    }
    StartCheckThreads();
}

void CheckEngine::CheckThreadProc(Worker* self) {
    TransferSession transfers(&connections_);
    CheckContext context{store_,  settings_, *gate_,    mail_,
                         limits_, stopping_, transfers, validators_};
    DocumentTable& table = store_.table();
    try {
        // The table may grow during the pass; records added behind it are checked as well.
        size_t position = 0;
        while (!stopping_.load()) {
            size_t i = servers_.NextToClaim(table, position);
            if (i == DocumentTable::kNoSlot) break;
            DocumentRecord claimed;
            uint64_t generation = 0;
            if (!table.TryClaim(i, claimed, generation)) continue;  // another thread took it
            // The pass is past it: set Waiting again meanwhile, it is left for the next pass.
            if (i == position) ++position;
            ServersInUse::Visit visit(servers_, ServersInUse::ServerOf(claimed));
            DocumentCheck(context, i, claimed, generation).Run();
        }
    } catch (...) {
        DebugLog("a check pass ended with an exception");
    }
    std::function<void()> onIdle;
    {
        std::lock_guard guard(workersLock_);
        self->done = true;
        // One write of the index per pass, by its last thread; none when nothing changed.
        if (--running_ == 0) {
            SaveValidators();
            onIdle = onIdle_;
        }
        idle_.notify_all();
    }
    if (onIdle) onIdle();
}

void CheckEngine::RequestStop() {
    stopping_.store(true);
}

void CheckEngine::PrepareChecks() {
    std::lock_guard guard(workersLock_);
    if (preparer_.joinable() || stopping_.load()) return;
    try {
        preparer_ = std::thread([this] {
            // Not the certificate authorities: a list without a TLS address never needs them,
            // and reading a system bundle costs about as much CPU as loading 1,000 records;
            // the first TLS transfer reads them.
            try {
                validators_.Preload();
            } catch (...) {  // the first check reads it itself
            }
        });
    } catch (const std::system_error&) {  // no thread to be had: the first check reads it
    }
}

void CheckEngine::Stop() {
    RequestStop();
    {
        std::lock_guard guard(workersLock_);
        if (preparer_.joinable()) preparer_.join();
    }
    std::list<Worker> workers;
    {
        std::lock_guard guard(workersLock_);
        workers.swap(workers_);
    }
    for (auto& worker : workers)
        if (worker.thread.joinable()) worker.thread.join();
    SaveValidators();
}

void CheckEngine::SaveValidators() {
    try {
        if (!validators_.changed()) return;
        store_.FlushPendingWrites();
        if (!validators_.Save()) DebugLog("the validators of this pass are kept for the next");
    } catch (...) {
        DebugLog("the validators of this pass could not be saved");
    }
}

bool CheckEngine::Idle() const {
    std::lock_guard guard(workersLock_);
    return running_ == 0;
}

void CheckEngine::SetIdleCallback(std::function<void()> callback) {
    std::lock_guard guard(workersLock_);
    onIdle_ = std::move(callback);
}

bool CheckEngine::WaitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock guard(workersLock_);
    return idle_.wait_for(guard, timeout, [&] { return running_ == 0; });
}

}  // namespace wardlet
