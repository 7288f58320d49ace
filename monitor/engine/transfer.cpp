#include "monitor/engine/transfer.h"

#include <curl/curl.h>

#include <strings.h>
#include <cctype>
#include <memory>
#include <mutex>

#include "common/debug_log.h"
#include "monitor/model/document_editor.h"

namespace wardlet {
namespace {

constexpr char kUserAgent[] = "Wardlet - Calvorne";
constexpr long kIdleConnectionSeconds = 60;
constexpr long kKeptConnections = 100;

struct TransferState {
    CURL* handle;
    const BodySink* sink;
    const std::atomic<bool>* stop;
    int64_t limit;
    bool web;
    int64_t received = 0;
    bool sinkFailed = false;
    bool tooLarge = false;
    bool httpError = false;
};

long ResponseCode(CURL* handle) {
    long code = 0;
    return curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK ? code : 0;
}

bool IsHttpError(CURL* handle) {
    return ResponseCode(handle) >= 400;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
    auto* state = static_cast<TransferState*>(user);
    size_t bytes = size * count;
    size_t abandon = bytes == 0 ? 1 : 0;  // any count other than `bytes` abandons the transfer
    // An error page is not the document: not a byte of it reaches the copy.
    if (state->web && state->received == 0 && IsHttpError(state->handle)) {
        state->httpError = true;
        return abandon;
    }
    // Whatever a 304 carries is not the document either.
    if (state->web && state->received == 0 && ResponseCode(state->handle) == 304) return bytes;
    state->received += static_cast<int64_t>(bytes);
    if (state->received > state->limit) {
        state->tooLarge = true;
        return abandon;
    }
    if (!(*state->sink)(data, bytes)) {
        state->sinkFailed = true;
        return abandon;
    }
    return bytes;
}

// Called at least about once a second, also while nothing arrives: the stop request is seen here.
int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* state = static_cast<TransferState*>(user);
    return state->stop->load(std::memory_order_relaxed) ? 1 : 0;
}

// The FTP dialogue as far as a reason needs it: the latest command (without the account) and the
// latest reply line to it, and the answer to the first AUTH (libcurl tries a second one).
struct FtpDialogue {
    std::string command;
    std::string reply;
    std::string pending;  // a reply line not yet ended
    std::string authReply;
};

int ReplyCode(std::string_view reply) {
    if (reply.size() < 3 || !isdigit(static_cast<unsigned char>(reply[0])) ||
        !isdigit(static_cast<unsigned char>(reply[1])) ||
        !isdigit(static_cast<unsigned char>(reply[2])))
        return 0;
    return (reply[0] - '0') * 100 + (reply[1] - '0') * 10 + (reply[2] - '0');
}

std::string_view WithoutLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

// USER and PASS carry the account: only the verb is kept.
std::string CommandForReason(std::string_view sent) {
    sent = WithoutLineEnd(sent);
    std::string_view verb = sent.substr(0, sent.find(' '));
    if (strncasecmp(verb.data(), "USER", verb.size()) == 0 && verb.size() == 4) return "USER";
    if (strncasecmp(verb.data(), "PASS", verb.size()) == 0 && verb.size() == 4) return "PASS";
    if (strncasecmp(verb.data(), "ACCT", verb.size()) == 0 && verb.size() == 4) return "ACCT";
    return std::string(sent);
}

int RecordFtpDialogue(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* dialogue = static_cast<FtpDialogue*>(user);
    std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT) {
        dialogue->command = CommandForReason(text);
        dialogue->reply.clear();
        dialogue->pending.clear();
    } else if (type == CURLINFO_HEADER_IN) {
        dialogue->pending.append(text);
        size_t end;
        while ((end = dialogue->pending.find('\n')) != std::string::npos) {
            std::string line(WithoutLineEnd(std::string_view(dialogue->pending).substr(0, end)));
            dialogue->pending.erase(0, end + 1);
            if (line.empty()) continue;
            dialogue->reply = line;
            if (dialogue->command.rfind("AUTH ", 0) == 0 && dialogue->authReply.empty() &&
                ReplyCode(line) != 0 && (line.size() == 3 || line[3] != '-'))
                dialogue->authReply = line;
        }
    }
    return 0;
}

// The step and the server's own words, when the server refused something; else empty.
std::string FtpReason(CURLcode code, const FtpDialogue& dialogue, const TransferRequest& request) {
    if (code == CURLE_USE_SSL_FAILED && !dialogue.authReply.empty())
        return "AUTH TLS: " + dialogue.authReply;
    if (dialogue.command.empty() || ReplyCode(dialogue.reply) < 400) return {};
    std::string step = dialogue.command;
    // SIZE comes before RETR and is refused the same way for a missing file: both are the
    // getting of the file, named with its path as typed.
    bool getting = step.rfind("RETR ", 0) == 0 || step.rfind("SIZE ", 0) == 0;
    if (getting && !request.ftpPath.empty()) step = "RETR " + request.ftpPath;
    return step + ": " + dialogue.reply;
}

// The server could not be reached for, or refused, a data connection made from its side.
bool ActiveDataConnectionFailed(CURLcode code, const FtpDialogue& dialogue) {
    switch (code) {
        case CURLE_FTP_PORT_FAILED:
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
            return true;
        default:
            return ReplyCode(dialogue.reply) == 425;  // "Can't open data connection"
    }
}

void AppendEscaped(std::string& out, unsigned char c) {
    static const char kHex[] = "0123456789ABCDEF";
    out.push_back('%');
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
}

// A path part for an FTP address: only unreserved characters stay, so a name holding '%', '?',
// '#', ';' or a backslash reaches the server as typed.
std::string EscapePathPart(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '.' || c == '_' || c == '~';
        if (plain)
            out.push_back(static_cast<char>(c));
        else
            AppendEscaped(out, c);
    }
    return out;
}

// libcurl before 8.1 accepts an active data connection but never starts TLS on it, so the
// transfer would wait for ever; FTP over TLS then goes passive from the start.
bool CanSecureActiveData() {
    return curl_version_info(CURLVERSION_NOW)->version_num >= 0x080100;
}

// A reused connection that failed before any answer: the server closed it while it was idle.
bool DiedOnKeptConnection(CURL* handle, CURLcode code, const TransferState& state,
                          const std::atomic<bool>& stop) {
    if (code != CURLE_GOT_NOTHING && code != CURLE_SEND_ERROR && code != CURLE_RECV_ERROR)
        return false;
    long connects = 0;
    return state.received == 0 && !state.httpError && !stop.load(std::memory_order_relaxed) &&
           curl_easy_getinfo(handle, CURLINFO_NUM_CONNECTS, &connects) == CURLE_OK &&
           connects == 0 && ResponseCode(handle) == 0;
}

std::string HeaderOfAnswer(CURL* handle, const char* name) {
    curl_header* header = nullptr;
    if (curl_easy_header(handle, name, 0, CURLH_HEADER, -1, &header) != CURLHE_OK || !header)
        return {};
    return header->value;
}

TransferAnswer AnswerValidators(CURL* handle) {
    TransferAnswer answer;
    answer.etag = HeaderOfAnswer(handle, "ETag");
    answer.lastModified = HeaderOfAnswer(handle, "Last-Modified");
    return answer;
}

bool IsLineBreak(char c) {
    return c == '\r' || c == '\n';
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

struct CurlDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

void InitTransfers() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct ConnectionShare::Locks {
    std::mutex data[CURL_LOCK_DATA_LAST];
};

namespace {

void LockShared(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    static_cast<ConnectionShare::Locks*>(user)->data[data].lock();
}

void UnlockShared(CURL*, curl_lock_data data, void* user) {
    static_cast<ConnectionShare::Locks*>(user)->data[data].unlock();
}

}  // namespace

ConnectionShare::ConnectionShare() : locks_(std::make_unique<Locks>()) {
    InitTransfers();
    trust_ = std::make_unique<SharedTrust>();
    CURLSH* share = curl_share_init();
    if (!share) return;
    bool ok = curl_share_setopt(share, CURLSHOPT_LOCKFUNC, LockShared) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, UnlockShared) == CURLSHE_OK &&
              curl_share_setopt(share, CURLSHOPT_USERDATA, locks_.get()) == CURLSHE_OK;
    for (curl_lock_data data :
         {CURL_LOCK_DATA_DNS, CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_CONNECT})
        ok = ok && curl_share_setopt(share, CURLSHOPT_SHARE, data) == CURLSHE_OK;
    if (!ok) {
        // Each thread then keeps its own connections; nothing else is lost.
        DebugLog("libcurl could not share connections between the check threads");
        curl_share_cleanup(share);
        return;
    }
    share_ = share;
}

ConnectionShare::~ConnectionShare() {
    // Every session using it has ended: the engine joins its threads first.
    if (share_) curl_share_cleanup(static_cast<CURLSH*>(share_));
}

void* ConnectionShare::handle() const {
    return share_;
}

std::shared_ptr<x509_store_st> ConnectionShare::TrustFor(const TransferLimits& limits) const {
    return trust_->For(limits);
}

TransferSession::TransferSession(const ConnectionShare* share) : share_(share) {
    InitTransfers();
}

TransferSession::~TransferSession() {
    if (handle_) curl_easy_cleanup(static_cast<CURL*>(handle_));
}

TransferOutcome Transfer(const TransferRequest& request, const BodySink& sink,
                         const TransferLimits& limits, const std::atomic<bool>& stop,
                         std::string* error) {
    TransferSession session;
    return session.Run(request, sink, limits, stop, error);
}

TransferOutcome TransferSession::Run(const TransferRequest& request, const BodySink& sink,
                                     const TransferLimits& limits, const std::atomic<bool>& stop,
                                     std::string* error, TransferAnswer* answer) {
    // A record written by hand can hold what the editor refuses: a line break would smuggle
    // another command into the FTP login or a header into the request.
    if (HasLineBreak(request.url) || (request.useAccount && (HasLineBreak(request.userName) ||
                                                             HasLineBreak(request.password)))) {
        DebugLog("transfer of " + request.url + " refused: a line break in its address or account");
        return TransferOutcome::Failed;
    }
    if (HasLineBreak(request.ifNoneMatch) || HasLineBreak(request.ifModifiedSince)) {
        DebugLog("transfer of " + request.url + " refused: a line break in its validators");
        return TransferOutcome::Failed;
    }
    // An FTP session carries state (login, directory, the data connection's mode) and ends with
    // a QUIT whose reply would hide the reason of a failure: it gets a handle of its own, closed
    // once the reason is taken. Web transfers use the kept handle and the shared connections.
    std::unique_ptr<CURL, CurlDeleter> ftpHandle;
    if (request.ftp)
        ftpHandle.reset(curl_easy_init());
    else if (!handle_)
        handle_ = curl_easy_init();
    CURL* h = request.ftp ? ftpHandle.get() : static_cast<CURL*>(handle_);
    if (!h) return TransferOutcome::Failed;
    // Every option of the last transfer goes; its connections stay in the cache. On the way out
    // too, so no option keeps pointing at this call's buffers while the handle waits or closes
    // (an FTP handle's QUIT would otherwise reach the dialogue record after it went).
    curl_easy_reset(h);
    struct ResetOnExit {
        CURL* handle;
        ~ResetOnExit() { curl_easy_reset(handle); }
    } resetOnExit{h};
    TransferState state{h, &sink, &stop, limits.maxDocumentBytes, !request.ftp};
    char message[CURL_ERROR_SIZE] = "";

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, message);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    if (!request.ftp && share_ && share_->handle())
        curl_easy_setopt(h, CURLOPT_SHARE, share_->handle());
    // Kept connections: one idle for a minute is closed, and the cache holds at most this many
    // (a host gets no more at once than there are check threads using it).
    curl_easy_setopt(h, CURLOPT_MAXAGE_CONN, kIdleConnectionSeconds);
    curl_easy_setopt(h, CURLOPT_MAXCONNECTS, kKeptConnections);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &state);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &state);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, limits.connectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytesPerSecond);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.lowSpeedSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, limits.maxTransferSeconds);
    // FTP replies and the server's data connection back to us wait no longer than a stalled body.
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, limits.lowSpeedSeconds);
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, limits.lowSpeedSeconds * 1000L);
    // A length announced beyond the limit ends the transfer before the body; an unannounced or
    // endless one is cut by the count in WriteBody.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(limits.maxDocumentBytes));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_blob authorities{const_cast<char*>(limits.caCertificates.data()),
                          limits.caCertificates.size(), CURL_BLOB_NOCOPY};
    // Plain HTTP needs no authorities (a redirect to HTTPS lets libcurl read them itself).
    bool tls = request.ftp ? request.ftpTls : strncasecmp(request.url.c_str(), "https:", 6) == 0;
    std::shared_ptr<x509_store_st> trust = share_ && tls ? share_->TrustFor(limits) : nullptr;
    if (trust)
        VerifyAgainst(h, trust.get());
    else if (!limits.caCertificates.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &authorities);
    else if (!limits.caBundle.empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, limits.caBundle.c_str());
    if (request.useAccount) {
        curl_easy_setopt(h, CURLOPT_USERNAME, request.userName.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str());
    }
    if (request.loginOnly) curl_easy_setopt(h, CURLOPT_NOBODY, 1L);

    std::unique_ptr<curl_slist, HeaderListDeleter> headers;
    FtpDialogue dialogue;
    if (request.ftp) {
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
        if (!request.ftpTls || CanSecureActiveData()) curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
        curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
        // Explicit TLS on control and data, or nothing: the account never goes out in clear.
        if (request.ftpTls) {
            curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
        }
        curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, RecordFtpDialogue);
        curl_easy_setopt(h, CURLOPT_DEBUGDATA, &dialogue);
        curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
    } else {
        // Decoded as it arrives: the copy, the count and the extract see the page's own bytes,
        // and the size limit in WriteBody counts decoded bytes, so a bomb stops there.
        curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 30L);
        // A fresh copy from the origin, never one a cache kept: these two make every cache
        // between the user and the server (proxies included) pass the request on, as a reload
        // must, so a change is seen as soon as the server has it.
        curl_slist* list = nullptr;
        bool complete = true;
        auto add = [&](const std::string& line) {
            curl_slist* longer = curl_slist_append(list, line.c_str());
            if (longer)
                list = longer;
            else
                complete = false;
        };
        add("Cache-Control: no-cache");
        add("Pragma: no-cache");
        // The origin answers 304 when the copy it sent last time is still current.
        if (!request.ifNoneMatch.empty()) add("If-None-Match: " + request.ifNoneMatch);
        if (!request.ifModifiedSince.empty()) add("If-Modified-Since: " + request.ifModifiedSince);
        headers.reset(list);
        if (!complete) {
            DebugLog("transfer of " + request.url + ": no memory for its request headers");
            return TransferOutcome::Failed;
        }
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, list);
        // Several checks of one server then share one connection, where it speaks HTTP/2.
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
    }

    CURLcode code = curl_easy_perform(h);
    if (!request.ftp && DiedOnKeptConnection(h, code, state, stop)) {
        // The server closed the kept connection just as it was reused (libcurl retries most such
        // cases itself): the same request once more on a new one.
        DebugLog("transfer of " + request.url + ": the kept connection was closed, trying anew");
        curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
        message[0] = '\0';
        code = curl_easy_perform(h);
    }
    if (request.ftp && !request.loginOnly) {
        bool activeTried = !request.ftpTls || CanSecureActiveData();
        // Behind NAT or with active mode switched off the server cannot connect back; the same
        // transfer then goes passive (EPSV, then PASV).
        bool retry = activeTried && code != CURLE_OK && state.received == 0 &&
                     !stop.load(std::memory_order_relaxed) &&
                     ActiveDataConnectionFailed(code, dialogue);
        bool passive = retry || !activeTried;
        if (retry) {
            std::string reason = FtpReason(code, dialogue, request);
            DebugLog("transfer of " + request.url + ": no active data connection (" +
                     (reason.empty() ? std::string(curl_easy_strerror(code)) : reason) +
                     "), trying passive");
            curl_easy_setopt(h, CURLOPT_FTPPORT, nullptr);
            message[0] = '\0';
            dialogue = {};
            code = curl_easy_perform(h);
        }
        DebugLog("transfer of " + request.url + ": " + (passive ? "passive" : "active") +
                 " data connection");
    }
    // An error reply with an empty body never reached WriteBody.
    if (code == CURLE_OK && !request.ftp && IsHttpError(h)) state.httpError = true;
    bool unasked304 = false;
    if (code == CURLE_OK && !request.ftp && ResponseCode(h) == 304) {
        if (!request.ifNoneMatch.empty() || !request.ifModifiedSince.empty())
            return TransferOutcome::NotModified;
        unasked304 = true;  // nothing to be "not modified" from: no body came
    }
    if (code == CURLE_OK && !state.httpError && !unasked304) {
        if (answer && !request.ftp) {
            *answer = AnswerValidators(h);
            const char* type = nullptr;
            if (curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK)
                answer->contentType = type ? type : "";
        }
        return TransferOutcome::Done;
    }
    std::string why = request.ftp ? FtpReason(code, dialogue, request) : std::string();
    if (why.empty())
        why = state.httpError      ? "the server answered with an error status"
              : unasked304         ? "the server answered 304 Not Modified to a request that "
                                     "sent no validators"
              : message[0] != '\0' ? message
                                   : curl_easy_strerror(code);
    if (error) *error = why;
    DebugLog("transfer of " + request.url + ": " + why);
    if (stop.load(std::memory_order_relaxed)) return TransferOutcome::Stopped;
    if (state.httpError) return TransferOutcome::HttpError;
    if (state.tooLarge || code == CURLE_FILESIZE_EXCEEDED) return TransferOutcome::TooLarge;
    if (state.sinkFailed) return TransferOutcome::SinkFailed;
    return TransferOutcome::Failed;
}

std::optional<FtpLocation> SplitFtpLocation(std::string_view location) {
    size_t scheme = location.find("://");
    std::string_view rest =
        scheme == std::string_view::npos ? location : location.substr(scheme + 3);
    size_t first = 0;
    while (first < rest.size() && !IsSeparator(rest[first])) {
        if (IsLineBreak(rest[first])) return std::nullopt;
        ++first;
    }
    if (first == rest.size()) return std::nullopt;
    size_t last = rest.size();
    while (last > 0 && !IsSeparator(rest[last - 1])) {
        if (IsLineBreak(rest[last - 1])) return std::nullopt;
        --last;
    }
    --last;  // the separator itself; at least the first one is found
    FtpLocation split;
    split.tls = scheme != std::string_view::npos && scheme == 4 &&
                strncasecmp(location.data(), "ftps", 4) == 0;
    split.host = std::string(rest.substr(0, first));
    split.file = std::string(rest.substr(last + 1));
    if (last > first) split.directory = std::string(rest.substr(first + 1, last - first - 1));
    return split;
}

std::string FtpUrl(const FtpLocation& location) {
    std::string url = "ftp://" + location.host + "/";
    // An empty directory names no folder to change to; the login folder is meant.
    if (location.directory && !location.directory->empty())
        url += EscapePathPart(*location.directory) + "/";
    url += EscapePathPart(location.file);
    return url;
}

TransferRequest FtpRequest(const FtpLocation& location) {
    TransferRequest request;
    request.url = FtpUrl(location);
    request.ftp = true;
    request.ftpTls = location.tls;
    if (location.directory && !location.directory->empty())
        request.ftpPath = *location.directory + "/";
    request.ftpPath += location.file;
    return request;
}

std::string WebUrl(std::string_view location) {
    std::string url;
    for (unsigned char c : location) {
        if (c <= 0x20 || c >= 0x7f)
            AppendEscaped(url, c);
        else
            url.push_back(static_cast<char>(c));
    }
    return url;
}

}  // namespace wardlet
