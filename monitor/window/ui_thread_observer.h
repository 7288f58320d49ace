#pragma once

#include <QObject>
#include <functional>

#include "monitor/engine/check_observer.h"

namespace wardlet {

// Carries the checks' calls to the user-interface thread (the thread this object lives on) and
// hands them to the target there: directly when the caller is already on it (QueueAllForCheck
// and Check Selected run there), otherwise as a blocking queued call, the check thread waiting
// for it to finish.
class UiThreadObserver : public QObject, public RelayingObserver {
    Q_OBJECT
public:
    explicit UiThreadObserver(CheckObserver& target, QObject* parent = nullptr)
        : QObject(parent), RelayingObserver(target) {}

    // For calls that must not wait (the engine's idle report): runs `call` there later.
    void Post(std::function<void()> call);

protected:
    void Relay(const std::function<void()>& call) override;
};

}  // namespace wardlet
