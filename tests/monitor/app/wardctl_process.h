#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace wardlet::test {

// The wardctl program run as a child process (the one built beside the tests), its standard
// output readable line by line, its standard error discarded. Killed when the object goes.
class WardctlProcess {
public:
    explicit WardctlProcess(const std::vector<std::string>& args);
    ~WardctlProcess();
    WardctlProcess(const WardctlProcess&) = delete;
    WardctlProcess& operator=(const WardctlProcess&) = delete;

    // The next line it printed, "" at its end or after `timeout`.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    void Signal(int signal);
    // Its wait status once it ended; nullopt when it is still running after `timeout`.
    std::optional<int> Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
};

// Runs wardctl to its end; the exit status (-1 when it did not exit normally).
int RunWardctlProgram(const std::vector<std::string>& args, std::string* out = nullptr);

}  // namespace wardlet::test
