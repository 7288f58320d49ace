#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace wardlet::smtp {

enum class [[nodiscard]] IoResult{Ok, Closed, TimedOut, Failed};
enum class [[nodiscard]] TlsResult{Secured, Failed};

// The session's connection: a TCP socket that can be turned into TLS (before the greeting, or
// after STARTTLS). Every wait has a limit so no step can hang. The peer's certificate is always
// verified, against the CA files named by CURL_CA_BUNDLE and SSL_CERT_FILE when either is set
// (TrustedCaFiles), else the system store,
// and must name the host the connection was made for.
class SmtpChannel {
public:
    SmtpChannel();
    ~SmtpChannel();
    SmtpChannel(const SmtpChannel&) = delete;
    SmtpChannel& operator=(const SmtpChannel&) = delete;

    [[nodiscard]] bool Connect(in_addr address, uint16_t portInNetworkOrder, int timeoutMs);
    bool open() const { return fd_ >= 0; }
    bool secure() const { return tls_ != nullptr; }

    // The TLS handshake for `host` (a name or dotted address). On failure `error` says why
    // (for example "certificate has expired") and the connection is no longer usable.
    TlsResult StartTls(const std::string& host, int timeoutMs, std::string& error);

    // Up to `size` bytes into `buffer`; `got` is how many. Waits at most timeoutMs (0 = only
    // what is already there).
    IoResult Receive(char* buffer, size_t size, size_t& got, int timeoutMs);
    // All of `bytes`, waiting at most timeoutMs for the peer to take each part.
    IoResult SendAll(std::string_view bytes, int timeoutMs);
    IoResult WaitWritable(int timeoutMs);
    void Close();

private:
    struct Tls;
    int fd_ = -1;
    std::unique_ptr<Tls> tls_;
};

}  // namespace wardlet::smtp
