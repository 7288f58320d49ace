#include "mailer/smtp/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace wardlet::smtp {
namespace {

using Clock = std::chrono::steady_clock;

bool SetBlocking(int fd, bool blocking) {
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK;
    return fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

WaitResult WaitForSocket(int fd, bool forWriting, int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd pfd{fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
        int n = poll(&pfd, 1, MillisecondsLeft(deadline));
        if (n > 0) return WaitResult::Ready;  // errors and hang-ups show up in the next call
        if (n == 0) return WaitResult::TimedOut;
        if (errno != EINTR) return WaitResult::Failed;
    }
}

std::optional<in_addr> ResolveIPv4(const std::string& host) {
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return address;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

int ConnectTcp(in_addr address, uint16_t portInNetworkOrder, int timeoutMs) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return -1;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = portInNetworkOrder;
    peer.sin_addr = address;
    // Connect without blocking so an unanswered connection attempt ends at the time-out.
    bool ok = SetBlocking(fd, false);
    if (ok && connect(fd, reinterpret_cast<sockaddr*>(&peer), sizeof peer) != 0) {
        ok = errno == EINPROGRESS && WaitForSocket(fd, true, timeoutMs) == WaitResult::Ready;
        int error = 0;
        socklen_t length = sizeof error;
        ok = ok && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (!ok || !SetBlocking(fd, true)) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, std::string_view bytes, int timeoutMs) {
    while (!bytes.empty()) {
        if (WaitForSocket(fd, true, timeoutMs) != WaitResult::Ready) return false;
        ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

void CloseSocket(int fd) {
    if (fd < 0) return;
    shutdown(fd, SHUT_RDWR);
    close(fd);
}

uint16_t DefaultSmtpPort(const char* service) {
    // getservbyname's static result is only read here, on the mailer's one thread.
    const servent* entry = getservbyname(service, "tcp");
    return entry ? static_cast<uint16_t>(entry->s_port) : htons(25);
}

std::string ComputerName() {
    char name[64] = {};
    if (gethostname(name, sizeof name - 1) != 0) return "localhost";
    std::string text(name);
    text = text.substr(0, text.find('.'));
    return text.empty() ? "localhost" : text;
}

}  // namespace wardlet::smtp
