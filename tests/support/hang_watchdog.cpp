#include "hang_watchdog.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace wardlet::test {

void StartHangWatchdog(std::chrono::seconds limit) {
    if (const char* seconds = std::getenv("WARDLET_TEST_HANG_SECONDS"))
        limit = std::chrono::seconds(std::atoi(seconds));
    std::thread([limit] {
        std::this_thread::sleep_for(limit);
        std::fprintf(stderr, "\n*** the test program still runs after %lld s: its threads:\n",
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::string command = "gdb -p " + std::to_string(getpid()) +
                              " -batch -nx -ex 'thread apply all bt 40' 1>&2 2>/dev/null";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "(no gdb to show them)\n");
        std::_Exit(124);
    }).detach();
}

}  // namespace wardlet::test
