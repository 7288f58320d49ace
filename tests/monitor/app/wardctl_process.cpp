#include "wardctl_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "peer_process.h"

namespace wardlet::test {
namespace {

std::string WardctlPath() {
    const char* dir = std::getenv("WARDLET_BIN_DIR");
    return std::string(dir ? dir : WARDLET_BUILT_BIN_DIR) + "/wardctl";
}

}  // namespace

WardctlProcess::WardctlProcess(const std::vector<std::string>& args) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    std::string program = WardctlPath();
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (auto& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, STDERR_FILENO);
        execv(program.c_str(), pointers.data());
        _exit(127);
    }
    close(pipeFds[1]);
    out_ = pipeFds[0];
}

WardctlProcess::~WardctlProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
}

std::string WardctlProcess::ReadLine(std::chrono::milliseconds timeout) {
    return test::ReadLine(out_, pending_, static_cast<int>(timeout.count()));
}

void WardctlProcess::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

std::optional<int> WardctlProcess::Wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return std::nullopt;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return status;
        }
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int RunWardctlProgram(const std::vector<std::string>& args, std::string* out) {
    WardctlProcess process(args);
    std::string text;
    for (std::string line; !(line = process.ReadLine()).empty();)
        text += line + "\n";
    if (out) *out = text;
    auto status = process.Wait();
    return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

}  // namespace wardlet::test
