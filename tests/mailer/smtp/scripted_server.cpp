#include "scripted_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace wardlet::test {

void ScriptedConnection::Send(std::string_view text) {
    while (fd_ >= 0 && !text.empty()) {
        ssize_t n = send(fd_, text.data(), text.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        text.remove_prefix(static_cast<size_t>(n));
    }
}

bool ScriptedConnection::Fill(int timeoutMs) {
    if (fd_ < 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) <= 0) return false;
    char buf[65536];
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) return false;
    pending_.append(buf, static_cast<size_t>(n));
    return true;
}

std::string ScriptedConnection::ReadUntil(std::string_view terminator, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t at = pending_.find(terminator);
        if (at != std::string::npos) {
            std::string text = pending_.substr(0, at + terminator.size());
            pending_.erase(0, at + terminator.size());
            return text;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !Fill(static_cast<int>(left.count()))) {
            std::string text;
            text.swap(pending_);
            return text;
        }
    }
}

std::string ScriptedConnection::ReadLine(int timeoutMs) {
    std::string line = ReadUntil("\r\n", timeoutMs);
    if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        line.resize(line.size() - 2);
    return line;
}

void ScriptedConnection::Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ScriptedConnection::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

ScriptedServer::ScriptedServer(Script script) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("scripted server cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd pfd{listener_, POLLIN, 0};
        if (poll(&pfd, 1, 20000) <= 0) return;
        int fd = accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        ScriptedConnection connection(fd);
        script(connection, *this);
        connection.Close();
    });
}

ScriptedServer::~ScriptedServer() {
    Finish();
    if (listener_ >= 0) close(listener_);
}

std::vector<std::string> ScriptedServer::Finish() {
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

void ScriptedServer::Record(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(line);
}

ScriptedServer::Script SmtpDialogue(std::function<std::string(const std::string&)> reply) {
    return [reply = std::move(reply)](ScriptedConnection& c, ScriptedServer& server) {
        c.Send("220 scripted.test ESMTP\r\n");
        for (;;) {
            std::string line = c.ReadLine();
            if (line.empty() && !c.open()) return;
            if (line.empty()) return;  // nothing came: the client has gone quiet
            server.Record(line);
            std::string answer = reply(line);
            if (answer.empty()) return;
            c.Send(answer);
            if (line == "DATA" && answer.rfind("354", 0) == 0) {
                std::string message = c.ReadUntil("\r\n.\r\n");
                server.Record("<message>" + message);
                std::string end = reply("<message>");
                if (end.empty()) return;
                c.Send(end);
            }
            if (line == "QUIT") return;
        }
    };
}

int CountStarting(const std::vector<std::string>& lines, std::string_view prefix) {
    int count = 0;
    for (const auto& line : lines) {
        if (line.rfind(prefix, 0) == 0) ++count;
    }
    return count;
}

}  // namespace wardlet::test
