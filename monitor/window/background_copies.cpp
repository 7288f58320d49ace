#include "monitor/window/background_copies.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <climits>

#include "common/desktop_services.h"
#include "monitor/app/copy_job.h"

namespace wardlet {
namespace {

constexpr int kProgressSteps = 1000;
constexpr int kPollMs = 50;

}  // namespace

CopyOutcome QtBackgroundCopies::Run(std::string_view caption, CopyWork work) {
    QEventLoop loop;
    QProgressDialog dialog(QString::fromUtf8(caption.data(), static_cast<int>(caption.size())),
                           "Cancel", 0, kProgressSteps, parent_);
    dialog.setObjectName("copyProgressDialog");
    dialog.setWindowTitle(kMonitorTitle);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumWidth(360);         // room for the whole title
    dialog.setMinimumDuration(INT_MAX);  // shown by the timer below, not by its own guess
    dialog.hide();

    // The job ends the loop from its thread; the queued call waits for the loop if need be.
    CopyJob job(std::move(work), [&loop] {
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&job] { job.Cancel(); });
    QTimer showTimer;
    showTimer.setSingleShot(true);
    QObject::connect(&showTimer, &QTimer::timeout, &dialog, [&] {
        if (!job.Finished()) dialog.show();
    });
    showTimer.start(kCopyProgressDelay);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (!dialog.isVisible() || job.total() == 0) return;
        dialog.setValue(static_cast<int>(job.done() * kProgressSteps / job.total()));
    });
    poll.start(kPollMs);
    if (!job.Finished()) loop.exec();
    // The loop also ends when the application quits: the copy must not outlive the caller.
    if (!job.Finished()) job.Cancel();
    return job.Wait();
}

}  // namespace wardlet
