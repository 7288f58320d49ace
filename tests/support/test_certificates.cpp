#include "test_certificates.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace wardlet::test {
namespace {

void RunIn(const std::string& folder, const std::string& script) {
    std::string command = "(cd '" + folder + "' && " + script + ") >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << script;
}

}  // namespace

TestCertificates::TestCertificates() {
    RunIn(dir.path().string(),
          "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 "
          "-subj '/CN=Wardlet Test CA'");
    Issue("server", "IP:127.0.0.1,DNS:localhost");
}

TestCertificates::Server TestCertificates::Issue(const std::string& name,
                                                 const std::string& subjectAltName, bool expired) {
    // A negative validity puts the end before the start: the certificate has expired.
    std::string days = expired ? "-1" : "2";
    RunIn(dir.path().string(),
          "openssl req -newkey rsa:2048 -nodes -keyout " + name + ".key -out " + name +
              ".csr -subj '/CN=" + name + "' && printf 'subjectAltName=" + subjectAltName +
              "\\nbasicConstraints=CA:FALSE\\n' > " + name + ".ext && openssl x509 -req -in " +
              name + ".csr -CA ca.pem -CAkey ca.key -CAcreateserial -out " + name + ".pem -days " +
              days + " -extfile " + name + ".ext");
    return {(dir.path() / (name + ".pem")).string(), (dir.path() / (name + ".key")).string()};
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::optional<std::string>& value)
    : name_(name) {
    if (const char* old = std::getenv(name)) {
        hadOld_ = true;
        old_ = old;
    }
    value ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

ScopedEnvironment::~ScopedEnvironment() {
    hadOld_ ? setenv(name_.c_str(), old_.c_str(), 1) : unsetenv(name_.c_str());
}

}  // namespace wardlet::test
