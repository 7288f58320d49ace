#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/engine/engine_settings.h"
#include "monitor/engine/shared_trust.h"

namespace wardlet {

// One fetch over HTTP, HTTPS or FTP. Redirects are followed, proxies come from the environment, an
// account goes apart from the address, every content encoding libcurl knows is asked for and
// decoded. FTP makes one CWD for the whole directory and tries an active data connection first,
// then a passive one.
struct TransferRequest {
    std::string url;
    bool ftp = false;
    // FTP with explicit TLS (AUTH TLS, PBSZ 0, PROT P), required: a server that refuses it gets
    // no USER. The certificate is verified as for HTTPS.
    bool ftpTls = false;
    std::string ftpPath;  // the remote file as typed, for the reason of a failed RETR
    bool useAccount = false;
    std::string userName;
    std::string password;
    bool loginOnly = false;  // connect, log in and change directory; fetch nothing
    // The validators of the answer the stored copy came from (web only); empty = not sent. With
    // either sent, a 304 answer means the body is the one stored.
    std::string ifNoneMatch;
    std::string ifModifiedSince;
};

// What the final answer of a web transfer said about its body, for the next conditional request.
struct TransferAnswer {
    std::string etag;          // its "ETag" header as sent, or empty
    std::string lastModified;  // its "Last-Modified" header as sent, or empty
    std::string contentType;   // its "Content-Type" after a whole body, or empty
};

enum class [[nodiscard]] TransferOutcome{
    Done,         // the whole body reached the sink
    NotModified,  // 304 to a request that sent validators: the stored copy is the document
    Failed,       // no connection, refused, reset, timed out, TLS or protocol error
    HttpError,    // the server answered with a status of 400 or above: its page is no document
    TooLarge,     // the body went beyond the size limit
    SinkFailed,   // the sink refused the bytes (the new copy could not be written)
    Stopped,      // the engine is stopping
};

// Receives the body piece by piece; returns false to abandon the transfer.
using BodySink = std::function<bool(const char* data, size_t size)>;

// What the check threads of one engine share: DNS answers, TLS sessions, the cache of kept
// connections, so a connection one thread left idle serves the next check of any thread, and the
// certificate authorities every new connection is verified against.
class ConnectionShare {
public:
    ConnectionShare();
    ~ConnectionShare();
    ConnectionShare(const ConnectionShare&) = delete;
    ConnectionShare& operator=(const ConnectionShare&) = delete;
    void* handle() const;  // the CURLSH, null when libcurl could not make one
    // The authorities of `limits` as one store (see SharedTrust::For), or null.
    std::shared_ptr<x509_store_st> TrustFor(const TransferLimits& limits) const;
    struct Locks;  // one mutex for each kind of shared data

private:
    std::unique_ptr<Locks> locks_;
    void* share_ = nullptr;
    std::unique_ptr<SharedTrust> trust_;
};

// One check thread's libcurl handle, kept between its checks for its connections. Every option
// is reset and set afresh for each transfer, so nothing of one document (an account, a header, a
// validator) reaches the next one.
class TransferSession {
public:
    explicit TransferSession(const ConnectionShare* share = nullptr);
    ~TransferSession();
    TransferSession(const TransferSession&) = delete;
    TransferSession& operator=(const TransferSession&) = delete;

    // On failure `error` gets the reason in words: for FTP the step and the server's own reply
    // ("RETR pub/x.zip: 550 No such file"), else libcurl's. The debug log gets it too. `answer`
    // gets the validators of a web answer that was Done.
    TransferOutcome Run(const TransferRequest& request, const BodySink& sink,
                        const TransferLimits& limits, const std::atomic<bool>& stop,
                        std::string* error = nullptr, TransferAnswer* answer = nullptr);

private:
    void* handle_ = nullptr;
    const ConnectionShare* share_;
};

// One transfer on a handle of its own, kept by nobody.
TransferOutcome Transfer(const TransferRequest& request, const BodySink& sink,
                         const TransferLimits& limits, const std::atomic<bool>& stop,
                         std::string* error = nullptr);

// Prepares libcurl once per process; call before any thread transfers.
void InitTransfers();

// An FTP location split into host, directory and file name: the text after the first "://",
// the host before the first slash or backslash, the file after the last one, the directory
// between them (present only with two separators or more). nullopt when it cannot be split:
// no separator, or a line break met before one. "ftps://" in front (any case) asks for TLS.
struct FtpLocation {
    std::string host;
    std::optional<std::string> directory;
    std::string file;
    bool tls = false;
};
std::optional<FtpLocation> SplitFtpLocation(std::string_view location);

// The address libcurl fetches for a split location; the directory goes in as one CWD.
std::string FtpUrl(const FtpLocation& location);
// A request for the location's file (or, with an empty file, its folder): address, TLS and the
// path shown in reasons.
TransferRequest FtpRequest(const FtpLocation& location);

// A typed web address made acceptable to the URL parser: spaces, control bytes and bytes above
// 127 are percent-encoded; everything else stays as typed.
std::string WebUrl(std::string_view location);

}  // namespace wardlet
