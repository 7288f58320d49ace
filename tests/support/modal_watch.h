#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

namespace wardlet::test {

// Calls `step` with the active modal window every 20 ms until it returns true. A modal that is
// still open after 30 s is rejected so that a fault cannot hang the test; `timedOut` says so.
// The watcher is returned so a test whose step never says done can end it.
inline QPointer<QTimer> WatchModal(std::function<bool(QWidget*)> step, bool* timedOut) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (started->elapsed() > 30000) {
            *timedOut = true;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
                    dialog->reject();
            timer->deleteLater();
            return;
        }
        if (modal && step(modal)) timer->deleteLater();
    });
    timer->start(20);
    return timer;
}

}  // namespace wardlet::test
