#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "monitor/engine/check_observer.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/engine/mail_notifier.h"
#include "monitor/engine/servers_in_use.h"
#include "monitor/engine/transfer.h"
#include "monitor/engine/validator_index.h"
#include "monitor/model/document_store.h"
#include "monitor/model/document_views.h"

namespace wardlet {

// Runs the checks on background threads. Work reaches the threads only through the records'
// status: a trigger sets records Waiting and starts threads; each thread makes one pass over the
// table and claims every Waiting record it meets (Waiting to Retrieving in one atomic step, so
// one thread and only one checks it). A pass may take a record a few slots ahead first, when
// the next one's server is busy with another thread (ServersInUse).
class CheckEngine : public CheckStarter {
public:
    CheckEngine(DocumentStore& store, EngineSettings& settings, CheckObserver& observer,
                TransferLimits limits = TransferLimits::FromEnvironment());
    // Stops: transfers in flight are aborted and the threads joined.
    ~CheckEngine() override;
    CheckEngine(const CheckEngine&) = delete;
    CheckEngine& operator=(const CheckEngine&) = delete;

    // Starts threadCount passes (the setting corrected to 1 when it is 0 or above 5). May be
    // called while earlier passes run; the new ones start at slot 0. Does nothing once stopping.
    void StartCheckThreads() override;
    // Every record that has a list row and is neither Changed nor Retrieving becomes Waiting (its
    // row refreshed), then StartCheckThreads. Periodic check, start-up check, Check All.
    void QueueAllForCheck();
    // Check Selected: the given records become Waiting unless Retrieving, Changed or Waiting,
    // then StartCheckThreads (also when nothing was queued).
    void CheckSelected(const std::vector<size_t>& indexes);

    // Reads on a thread of its own what a first check waits for (the validators), while the
    // caller loads the documents. Once, before the first pass.
    void PrepareChecks();

    // Asks every check to end: transfers abort within about a second, local copies at the next
    // block; aborted checks leave their record Waiting. From then on no sound, selection, tray
    // alert, message or opening goes out to the observer (rows are still refreshed). Returns at
    // once. A window whose observer
    // waits for the user-interface thread calls this there, keeps handling events until Idle(),
    // and only then Stop(), so no check thread is left waiting for a thread that joins it.
    void RequestStop();
    // RequestStop, then joins every thread.
    void Stop();
    // True when no pass is running.
    bool Idle() const;
    // Waits until no pass is running; false when `timeout` passed first. Not for a thread that
    // the observer waits for (use the idle callback there).
    bool WaitIdle(std::chrono::milliseconds timeout = std::chrono::hours(24));
    // Runs on the check thread whose pass was the last one running, each time the engine becomes
    // idle, so a window learns it without polling. It must not wait for another thread (post,
    // do not block), and a new pass may have started by the time it is handled: ask Idle().
    void SetIdleCallback(std::function<void()> callback);

    MailNotifier& mail() { return mail_; }
    ValidatorIndex& validators() { return validators_; }
    const TransferLimits& limits() const { return limits_; }

private:
    struct Worker {
        std::thread thread;
        bool done = false;
    };
    class StopGate;
    void CheckThreadProc(Worker* self);
    void JoinFinishedLocked(std::vector<std::thread>& finished);
    // The validators the pass learnt, with the copies they describe on disk first.
    void SaveValidators();

    DocumentStore& store_;
    EngineSettings& settings_;
    CheckObserver& observer_;
    std::unique_ptr<StopGate> gate_;  // what the checks call instead of observer_
    TransferLimits limits_;
    MailNotifier mail_;
    ConnectionShare connections_;  // outlives every check thread's session
    ServersInUse servers_;
    ValidatorIndex validators_;
    std::atomic<bool> stopping_{false};

    mutable std::mutex workersLock_;
    std::condition_variable idle_;
    std::list<Worker> workers_;
    std::thread preparer_;  // joined by Stop
    size_t running_ = 0;
    std::function<void()> onIdle_;  // guarded by workersLock_
};

}  // namespace wardlet
