#include "monitor/window/ui_thread_observer.h"

#include <QThread>

namespace wardlet {

void UiThreadObserver::Relay(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) return call();
    QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

void UiThreadObserver::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

}  // namespace wardlet
