#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <functional>
#include <memory>

#include "qt_test_main.h"

namespace wardlet::test {

template <typename Widget>
Widget* Find(QWidget* parent, const char* name) {
    auto* widget = parent->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// Turns the event loop until `done` holds or `timeoutMs` passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

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
