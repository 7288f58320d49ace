#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "monitor/app/document_row_list.h"
#include "monitor/app/monitor_session.h"
#include "monitor/app/refresh_batch.h"

namespace wardlet {

// Carries the checks' calls to the user-interface thread (the thread this object lives on) and
// hands them to the target there: directly when the caller is already on it (QueueAllForCheck
// and Check Selected run there), otherwise as a blocking queued call, the check thread waiting
// for it to finish. Row refreshes from a check thread do not wait: they are held and painted
// together by a timer, and before any other call so that it sees its rows as the checks left
// them. With `rows`, the row of a record is looked up there directly (it locks).
class UiThreadObserver : public QObject, public UiThreadRelay {
    Q_OBJECT
public:
    explicit UiThreadObserver(CheckObserver& target, DocumentRowList* rows = nullptr,
                              QObject* parent = nullptr);

    void RefreshRow(size_t index) override;
    std::optional<size_t> FindRowOfRecord(size_t index) override;

    // For calls that must not wait (the engine's idle report): runs `call` there later.
    void Post(std::function<void()> call) override;
    // Paints the rows refreshed by the checks since the last flush; on this object's thread (the
    // end of a pass and the exit call it, so that no refresh is left unpainted).
    void FlushRefreshes() override;

protected:
    void Relay(const std::function<void()>& call) override;

private:
    void OnFlushTimer();

    DocumentRowList* rows_;
    RefreshBatch batch_;
    QTimer flushTimer_;
};

}  // namespace wardlet
