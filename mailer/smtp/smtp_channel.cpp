#include "mailer/smtp/smtp_channel.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "common/trusted_ca.h"
#include "mailer/smtp/socket_io.h"

namespace wardlet::smtp {
namespace {

using Clock = std::chrono::steady_clock;

IoResult Wait(int fd, bool forWriting, int timeoutMs) {
    switch (WaitForSocket(fd, forWriting, timeoutMs)) {
        case WaitResult::Ready:
            return IoResult::Ok;
        case WaitResult::TimedOut:
            return IoResult::TimedOut;
        case WaitResult::Failed:
            break;
    }
    return IoResult::Failed;
}

// OpenSSL writes to the socket with write(), which raises SIGPIPE when the server has gone.
// The signal is held back while a TLS call runs and a SIGPIPE it caused is taken off again, so
// a vanished server is an ordinary failure and the program's own signal handling is untouched.
class SigpipeHeldBack {
public:
    SigpipeHeldBack() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        wasPending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~SigpipeHeldBack() {
        sigset_t pending;
        if (!wasPending_ && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
            timespec none{};
            sigtimedwait(&pipe_, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeHeldBack(const SigpipeHeldBack&) = delete;
    SigpipeHeldBack& operator=(const SigpipeHeldBack&) = delete;

private:
    sigset_t pipe_;
    sigset_t old_;
    bool wasPending_ = false;
};

bool IsAddressLiteral(const std::string& host) {
    unsigned char scratch[16];
    return inet_pton(AF_INET, host.c_str(), scratch) == 1 ||
           inet_pton(AF_INET6, host.c_str(), scratch) == 1;
}

bool LoadAuthorities(SSL_CTX* context) {
    auto files = wardlet::TrustedCaFiles();
    for (const auto& file : files)
        if (SSL_CTX_load_verify_locations(context, file.c_str(), nullptr) != 1) return false;
    if (!files.empty()) return true;
    return SSL_CTX_set_default_verify_paths(context) == 1;
}

// Why a handshake failed, in words for the log.
std::string HandshakeError(SSL* ssl, IoResult result) {
    if (result == IoResult::TimedOut) return "no answer in time";
    long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) return X509_verify_cert_error_string(verify);
    unsigned long error = ERR_peek_last_error();
    if (error != 0) {
        const char* reason = ERR_reason_error_string(error);
        if (reason) return reason;
    }
    return result == IoResult::Closed ? "the server closed the connection" : "handshake failed";
}

}  // namespace

struct SmtpChannel::Tls {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    ~Tls() {
        SSL_free(ssl);
        SSL_CTX_free(context);
    }

    // Runs `step` (an SSL call) until it succeeds, waiting as OpenSSL asks, up to `deadline`.
    template <typename Step>
    IoResult Drive(int fd, Clock::time_point deadline, Step&& step, int& done) {
        for (;;) {
            SigpipeHeldBack held;
            ERR_clear_error();
            done = step();
            if (done > 0) return IoResult::Ok;
            int error = SSL_get_error(ssl, done);
            IoResult waited;
            if (error == SSL_ERROR_WANT_READ)
                waited = Wait(fd, false, MillisecondsLeft(deadline));
            else if (error == SSL_ERROR_WANT_WRITE)
                waited = Wait(fd, true, MillisecondsLeft(deadline));
            else if (error == SSL_ERROR_ZERO_RETURN ||
                     (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 && errno == 0))
                return IoResult::Closed;
            else
                return IoResult::Failed;
            if (waited != IoResult::Ok) return waited;
        }
    }
};

SmtpChannel::SmtpChannel() = default;

SmtpChannel::~SmtpChannel() {
    Close();
}

bool SmtpChannel::Connect(in_addr address, uint16_t portInNetworkOrder, int timeoutMs) {
    Close();
    fd_ = ConnectTcp(address, portInNetworkOrder, timeoutMs);
    return fd_ >= 0;
}

TlsResult SmtpChannel::StartTls(const std::string& host, int timeoutMs, std::string& error) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto tls = std::make_unique<Tls>();
    tls->context = SSL_CTX_new(TLS_client_method());
    if (!tls->context) {
        error = "cannot set up TLS";
        return TlsResult::Failed;
    }
    SSL_CTX_set_min_proto_version(tls->context, TLS1_2_VERSION);
    SSL_CTX_set_verify(tls->context, SSL_VERIFY_PEER, nullptr);
    if (!LoadAuthorities(tls->context)) {
        error = "cannot read the certificate authorities";
        return TlsResult::Failed;
    }
    tls->ssl = SSL_new(tls->context);
    if (!tls->ssl || SSL_set_fd(tls->ssl, fd_) != 1) {
        error = "cannot set up TLS";
        return TlsResult::Failed;
    }
    SSL_set_hostflags(tls->ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    bool named;
    if (IsAddressLiteral(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(tls->ssl), host.c_str()) == 1;
    } else {
        // SNI carries names only, never address literals.
        named = SSL_set_tlsext_host_name(tls->ssl, host.c_str()) == 1 &&
                SSL_set1_host(tls->ssl, host.c_str()) == 1;
    }
    int flags = fcntl(fd_, F_GETFL, 0);
    if (!named || flags < 0 || fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = "cannot set up TLS";
        return TlsResult::Failed;
    }
    int done = 0;
    IoResult result = tls->Drive(
        fd_, deadline, [&] { return SSL_connect(tls->ssl); }, done);
    if (result != IoResult::Ok) {
        error = HandshakeError(tls->ssl, result);
        return TlsResult::Failed;
    }
    tls_ = std::move(tls);
    return TlsResult::Secured;
}

IoResult SmtpChannel::Receive(char* buffer, size_t size, size_t& got, int timeoutMs) {
    got = 0;
    if (fd_ < 0) return IoResult::Failed;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int capped = static_cast<int>(size > INT_MAX ? INT_MAX : size);
    if (tls_) {
        int done = 0;
        IoResult result = tls_->Drive(
            fd_, deadline, [&] { return SSL_read(tls_->ssl, buffer, capped); }, done);
        if (result == IoResult::Ok) got = static_cast<size_t>(done);
        return result;
    }
    for (;;) {
        IoResult waited = Wait(fd_, false, MillisecondsLeft(deadline));
        if (waited != IoResult::Ok) return waited;
        ssize_t n = recv(fd_, buffer, size, MSG_DONTWAIT);
        if (n > 0) {
            got = static_cast<size_t>(n);
            return IoResult::Ok;
        }
        if (n == 0) return IoResult::Closed;
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return IoResult::Failed;
    }
}

IoResult SmtpChannel::SendAll(std::string_view bytes, int timeoutMs) {
    if (fd_ < 0) return IoResult::Failed;
    if (!tls_) return smtp::SendAll(fd_, bytes, timeoutMs) ? IoResult::Ok : IoResult::Failed;
    while (!bytes.empty()) {
        auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int length = static_cast<int>(bytes.size() > INT_MAX ? INT_MAX : bytes.size());
        int done = 0;
        IoResult result = tls_->Drive(
            fd_, deadline, [&] { return SSL_write(tls_->ssl, bytes.data(), length); }, done);
        if (result != IoResult::Ok) return result;
        bytes.remove_prefix(static_cast<size_t>(done));
    }
    return IoResult::Ok;
}

IoResult SmtpChannel::WaitWritable(int timeoutMs) {
    if (fd_ < 0) return IoResult::Failed;
    return Wait(fd_, true, timeoutMs);
}

void SmtpChannel::Close() {
    if (tls_) {
        SigpipeHeldBack held;
        SSL_shutdown(tls_->ssl);  // one close_notify, without waiting for the server's
        tls_.reset();
    }
    CloseSocket(fd_);
    fd_ = -1;
}

}  // namespace wardlet::smtp
