#pragma once

#include <chrono>

namespace wardlet::test {

// Ends a test program that runs longer than `limit`, after printing every thread's stack to
// stderr (through gdb, where it is installed), so a hang shows where it hangs instead of only
// running into the test runner's time-out. Starts a detached thread; call it once from main.
// WARDLET_TEST_HANG_SECONDS overrides the limit.
void StartHangWatchdog(std::chrono::seconds limit = std::chrono::seconds(240));

}  // namespace wardlet::test
