#include "monitor/window/ui_thread_observer.h"

#include <QThread>

namespace wardlet {

UiThreadObserver::UiThreadObserver(CheckObserver& target, DocumentRowList* rows, QObject* parent)
    : QObject(parent), UiThreadRelay(target), rows_(rows) {
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, &UiThreadObserver::OnFlushTimer);
}

void UiThreadObserver::RefreshRow(size_t index) {
    if (QThread::currentThread() == thread()) return target().RefreshRow(index);
    auto wait = batch_.Mark(index, RefreshBatch::Clock::now());
    if (!wait) return;  // a flush is already on its way
    int ms = static_cast<int>(wait->count());
    QMetaObject::invokeMethod(
        this, [this, ms] { flushTimer_.start(ms); }, Qt::QueuedConnection);
}

std::optional<size_t> UiThreadObserver::FindRowOfRecord(size_t index) {
    if (rows_) return rows_->FindRowOfRecord(index);
    return RelayingObserver::FindRowOfRecord(index);
}

void UiThreadObserver::Relay(const std::function<void()>& call) {
    auto flushedCall = [&] {
        FlushRefreshes();
        call();
    };
    if (QThread::currentThread() == thread()) return flushedCall();
    QMetaObject::invokeMethod(this, flushedCall, Qt::BlockingQueuedConnection);
}

void UiThreadObserver::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void UiThreadObserver::FlushRefreshes() {
    for (size_t index : batch_.Take(RefreshBatch::Clock::now()))
        target().RefreshRow(index);
}

void UiThreadObserver::OnFlushTimer() {
    // Two check threads may each have armed the timer around a flush; the later flush waits its
    // turn.
    auto wait = batch_.UntilDue(RefreshBatch::Clock::now());
    if (wait.count() > 0) return flushTimer_.start(static_cast<int>(wait.count()));
    FlushRefreshes();
}

}  // namespace wardlet
