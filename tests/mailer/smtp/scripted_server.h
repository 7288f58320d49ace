#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace wardlet::test {

// The server side of one connection, for scripts of misbehaving peers.
class ScriptedConnection {
public:
    explicit ScriptedConnection(int fd) : fd_(fd) {}
    void Send(std::string_view text);
    // The next line without its CR LF; empty when the peer closed or nothing came in time.
    std::string ReadLine(int timeoutMs = 5000);
    // Reads up to and including `terminator`; returns what came (without it on a time-out).
    std::string ReadUntil(std::string_view terminator, int timeoutMs = 5000);
    void Pause(int ms);
    void Close();
    bool open() const { return fd_ >= 0; }

private:
    bool Fill(int timeoutMs);
    int fd_;
    std::string pending_;
};

// A loopback server that accepts one connection and runs `script` on it in its own thread.
// The lines the script read are kept for the test.
class ScriptedServer {
public:
    using Script = std::function<void(ScriptedConnection&, ScriptedServer&)>;
    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }
    // Waits for the script to end and returns every line it read, in order.
    std::vector<std::string> Finish();
    void Record(const std::string& line);

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

// A usual SMTP dialogue driven by `reply`, which answers each command line (return "" to close
// the connection). Greets with 220, takes the message after a 354 and answers it with
// reply("<message>"), ends after QUIT.
ScriptedServer::Script SmtpDialogue(std::function<std::string(const std::string&)> reply);

// Whether any recorded line starts with `prefix`, and how many do.
int CountStarting(const std::vector<std::string>& lines, std::string_view prefix);

}  // namespace wardlet::test
