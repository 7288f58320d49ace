// The one command/reply exchange of the session and the socket's life.
#include <chrono>

#include "mailer/smtp/smtp_reply.h"
#include "mailer/smtp/smtp_session.h"
#include "mailer/smtp/socket_io.h"

namespace wardlet::smtp {
namespace {

constexpr size_t kPieceSize = 1024;

}  // namespace

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool IsPlainAddress(std::string_view address) {
    size_t at = address.rfind('@');
    if (at == std::string_view::npos || at == 0 || at + 1 == address.size()) return false;
    for (char c : address) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7F || c == '<' || c == '>') return false;
    }
    return true;
}

CSmtp::CSmtp() : port(DefaultSmtpPort()) {}

CSmtp::~CSmtp() {
    Disconnect();
}

int CSmtp::OnMessage(int, const std::string&) {
    return 0;
}
int CSmtp::OnError(int, const std::string&) {
    return 0;
}
void CSmtp::OnReply(std::optional<std::string_view>, int, const std::string&) {}
int CSmtp::OnSendProgress(std::string_view, size_t, size_t) {
    return 1;
}

int CSmtp::ReportError(int code) {
    if (code == -1) sessionOpen_ = 0;  // the connection is gone: no QUIT will be tried
    return OnError(code, lastReply_);
}

int CSmtp::ReportMessage(int code) {
    return OnMessage(code, lastReply_);
}

int CSmtp::TimeoutMs() const {
    return timeoutSeconds > 0 ? timeoutSeconds * 1000 : 0;
}

void CSmtp::DiscardPendingInput() {
    char scrap[1024];
    size_t got = 0;
    while (channel_.Receive(scrap, sizeof scrap, got, 0) == IoResult::Ok) {
    }
}

bool CSmtp::SendCommand(std::string_view command) {
    size_t total = command.size();
    for (size_t sent = 0; sent < total;) {
        std::string_view piece = command.substr(sent, kPieceSize);
        if (channel_.SendAll(piece, TimeoutMs()) != IoResult::Ok) return false;
        sent += piece.size();
        if (total > kPieceSize && OnSendProgress(command, sent, total) == 0) return false;
    }
    return channel_.WaitWritable(TimeoutMs()) == IoResult::Ok;
}

bool CSmtp::ReadReply(std::string& received) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::milliseconds(TimeoutMs());
    char piece[1024];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return !received.empty();  // time used up: take what arrived
        size_t n = 0;
        if (channel_.Receive(piece, sizeof piece, n, static_cast<int>(left.count())) !=
            IoResult::Ok)
            return false;
        if (AppendReplyPiece(received, std::string_view(piece, n)) == ReplyProgress::Complete)
            return true;
    }
}

int CSmtp::Transact(std::optional<std::string_view> command) {
    if (!channel_.open()) {
        lastCode_ = -1;
        return -1;
    }
    if (command) {
        // Lines left over from an earlier reply must not be taken for this command's reply.
        DiscardPendingInput();
        if (!SendCommand(*command)) {
            lastCode_ = -1;
            return -1;
        }
    }
    std::string received;
    bool ok = ReadReply(received);
    lastReply_ = TrimReply(received);
    if (!ok) {
        lastCode_ = -1;
        return -1;
    }
    lastCode_ = ReplyCode(lastReply_);
    OnReply(command, lastCode_, lastReply_);
    return lastCode_;
}

void CSmtp::Disconnect() {
    if (!channel_.open()) return;
    if (sessionOpen_ == 1) Quit();
    channel_.Close();
    offered_ = {};
}

}  // namespace wardlet::smtp
