#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wardlet::test {

// A program of the build run as a child process with extra environment variables; its standard
// error is read line by line. A child still running at destruction is killed.
class ProgramRun {
public:
    ProgramRun(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::pair<std::string, std::string>>& environment);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // The next line of standard error; empty at its end or after timeoutMs without one.
    std::string ReadErrorLine(int timeoutMs = 20000);
    // The exit status once the child has ended within timeoutMs.
    std::optional<int> WaitForExit(int timeoutMs);

private:
    pid_t pid_ = -1;
    int err_ = -1;
    std::string pending_;
};

// Where the programs of the build are ($WARDLET_BIN_DIR).
std::string BuiltProgram(const std::string& name);

}  // namespace wardlet::test
