#pragma once

#include <optional>
#include <string>

#include "temp_home.h"

namespace wardlet::test {

// A certificate authority made with openssl for one test, and server certificates signed by it.
// The default server certificate is for 127.0.0.1 and localhost.
struct TestCertificates {
    struct Server {
        std::string cert;
        std::string key;
    };

    TestCertificates();
    // Another server certificate with these subjectAltName entries (for example
    // "DNS:other.example"); `expired` makes one whose validity ended a day ago.
    Server Issue(const std::string& name, const std::string& subjectAltName, bool expired = false);

    TempDir dir;
    std::string ca = (dir.path() / "ca.pem").string();
    std::string cert = (dir.path() / "server.pem").string();
    std::string key = (dir.path() / "server.key").string();
};

// Sets (or with nullopt removes) an environment variable for the object's lifetime; the old
// value comes back afterwards.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::optional<std::string>& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    bool hadOld_ = false;
    std::string old_;
};

}  // namespace wardlet::test
