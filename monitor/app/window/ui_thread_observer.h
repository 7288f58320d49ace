#pragma once

#include <QObject>
#include <functional>

#include "monitor/engine/check_observer.h"

namespace wardlet {

// Carries the checks' calls to the user-interface thread (the thread this object lives on) and
// hands them to `target` there: directly when the caller is already on it (QueueAllForCheck and
// Check Selected run there), otherwise as a blocking queued call, the check thread waiting for
// it to finish.
class UiThreadObserver : public QObject, public CheckObserver {
    Q_OBJECT
public:
    explicit UiThreadObserver(CheckObserver& target, QObject* parent = nullptr)
        : QObject(parent), target_(target) {}

    void RefreshRow(size_t index) override;
    std::optional<size_t> FindRowOfRecord(size_t index) override;
    void SelectRowOfRecord(size_t index) override;
    void PlaySound(NotifyKind kind) override;
    void TrayAlert(size_t index, NotifyKind kind) override;
    void ShowMessage(std::string_view text) override;
    void OpenDocument(size_t index) override;

    // For calls that must not wait (the engine's idle report): runs `call` there later.
    void Post(std::function<void()> call);

private:
    void Run(const std::function<void()>& call);
    CheckObserver& target_;
};

}  // namespace wardlet
