#pragma once

namespace wardlet::test {

// A socket listening on a free loopback port that never accepts: a server that takes the
// connection and says nothing. Closed with the object.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// A loopback port that was free a moment ago and on which nothing listens now.
int ClosedLoopbackPort();

}  // namespace wardlet::test
