#include "monitor/app/window/ui_thread_observer.h"

#include <QThread>

namespace wardlet {

void UiThreadObserver::Run(const std::function<void()>& call) {
    if (QThread::currentThread() == thread()) return call();
    QMetaObject::invokeMethod(this, call, Qt::BlockingQueuedConnection);
}

void UiThreadObserver::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void UiThreadObserver::RefreshRow(size_t index) {
    Run([&] { target_.RefreshRow(index); });
}

std::optional<size_t> UiThreadObserver::FindRowOfRecord(size_t index) {
    std::optional<size_t> row;
    Run([&] { row = target_.FindRowOfRecord(index); });
    return row;
}

void UiThreadObserver::SelectRowOfRecord(size_t index) {
    Run([&] { target_.SelectRowOfRecord(index); });
}

void UiThreadObserver::PlaySound(NotifyKind kind) {
    Run([&] { target_.PlaySound(kind); });
}

void UiThreadObserver::TrayAlert(size_t index, NotifyKind kind) {
    Run([&] { target_.TrayAlert(index, kind); });
}

void UiThreadObserver::ShowMessage(std::string_view text) {
    Run([&] { target_.ShowMessage(text); });
}

void UiThreadObserver::OpenDocument(size_t index) {
    Run([&] { target_.OpenDocument(index); });
}

}  // namespace wardlet
