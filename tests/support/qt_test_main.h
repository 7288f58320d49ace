#pragma once

// The main of a Qt test program: a QApplication (the platform comes from QT_QPA_PLATFORM,
// offscreen under CTest), GoogleTest, and the hang watchdog.
#include <gtest/gtest.h>
#include <QApplication>

#include "hang_watchdog.h"

#define WARDLET_QT_TEST_MAIN                    \
    int main(int argc, char** argv) {           \
        QApplication application(argc, argv);   \
        ::testing::InitGoogleTest(&argc, argv); \
        ::wardlet::test::StartHangWatchdog();   \
        return RUN_ALL_TESTS();                 \
    }
