#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace wardlet::test {

// A test peer (a server script of the tests) run as a child process. The child prints one line
// "READY <port>" on standard output once it listens; the constructor waits for that line (at most
// 20 s) and the destructor kills the child. Scripts run with Debian's /usr/bin/python3, whose
// python3-* packages (pyftpdlib, aiosmtpd) the setup script installs.
class PeerProcess {
public:
    explicit PeerProcess(std::vector<std::string> argv);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    int port() const { return port_; }
    // Lines the peer printed after READY (read on demand, non-blocking up to timeoutMs).
    std::string readLine(int timeoutMs = 5000);
    void stop();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int port_ = 0;
    std::string pending_;
};

// One line from `fd` (without its line feed), waiting at most timeoutMs; bytes read past it stay in
// `pending` for the next call. Empty at end of input or time-out.
std::string ReadLine(int fd, std::string& pending, int timeoutMs);

// Path of a file in the tests' source tree, e.g. TestFile("support/http_peer.py").
std::string TestFile(const std::string& relative);
// The Python interpreter that has the project's python3-* packages.
std::string Python();

}  // namespace wardlet::test
