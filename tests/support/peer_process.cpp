#include "peer_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace wardlet::test {

PeerProcess::PeerProcess(std::vector<std::string> argv) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        dup2(pipeFds[1], STDOUT_FILENO);
        close(pipeFds[0]);
        close(pipeFds[1]);
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(pipeFds[1]);
    out_ = pipeFds[0];
    std::string line = readLine(20000);
    if (line.rfind("READY ", 0) != 0) {
        stop();
        throw std::runtime_error("test peer did not start: " + argv.back() + " said '" + line +
                                 "'");
    }
    port_ = std::stoi(line.substr(6));
}

PeerProcess::~PeerProcess() {
    stop();
}

void PeerProcess::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (out_ >= 0) {
        close(out_);
        out_ = -1;
    }
}

std::string PeerProcess::readLine(int timeoutMs) {
    return ReadLine(out_, pending_, timeoutMs);
}

std::string ReadLine(int fd, std::string& pending, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto nl = pending.find('\n');
        if (nl != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0 || fd < 0) return {};
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0) return {};
        char buf[4096];
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) return {};
        pending.append(buf, static_cast<size_t>(n));
    }
}

std::string TestFile(const std::string& relative) {
    return std::string(WARDLET_SOURCE_DIR) + "/tests/" + relative;
}

std::string Python() {
    return "/usr/bin/python3";
}

}  // namespace wardlet::test
