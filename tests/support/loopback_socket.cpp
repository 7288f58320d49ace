#include "loopback_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace wardlet::test {
namespace {

// A loopback TCP socket bound to a port the system chose; the port is written to `port`.
int BoundLoopbackSocket(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        throw std::runtime_error("cannot bind a loopback socket");
    }
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

SilentListener::SilentListener() {
    fd_ = BoundLoopbackSocket(port_);
    if (listen(fd_, 4) != 0) {
        close(fd_);
        throw std::runtime_error("cannot listen on a loopback socket");
    }
}

SilentListener::~SilentListener() {
    close(fd_);
}

int ClosedLoopbackPort() {
    int port = 0;
    close(BoundLoopbackSocket(port));
    return port;
}

}  // namespace wardlet::test
