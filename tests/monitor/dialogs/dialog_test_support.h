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

#include "modal_watch.h"
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

}  // namespace wardlet::test
