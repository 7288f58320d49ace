#include "mailer/smtp/smtp_reply.h"

#include <cctype>

namespace wardlet::smtp {
namespace {

bool IsDigit(char c) {
    return isdigit(static_cast<unsigned char>(c)) != 0;
}

// True once the received text ends a reply: its last complete line is not a "ddd-" continuation
// line of a multi-line reply.
bool ReplyComplete(const std::string& text) {
    size_t lastLf = text.rfind('\n');
    if (lastLf == std::string::npos) return false;
    size_t lineStart = 0;
    if (lastLf > 0) {
        size_t previousLf = text.rfind('\n', lastLf - 1);
        if (previousLf != std::string::npos) lineStart = previousLf + 1;
    }
    std::string_view line(text.data() + lineStart, lastLf - lineStart);
    bool continuation = line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) &&
                        IsDigit(line[2]) && line[3] == '-';
    return !continuation;
}

}  // namespace

ReplyProgress AppendReplyPiece(std::string& received, std::string_view piece) {
    if (piece.empty() || piece[0] == '\0') return ReplyProgress::NeedMore;
    received.append(piece);
    if (ReplyComplete(received) || received.size() >= kReplyReadLimit)
        return ReplyProgress::Complete;
    return ReplyProgress::NeedMore;
}

std::string TrimReply(const std::string& received) {
    size_t lastLf = received.rfind('\n');
    std::string reply = lastLf == std::string::npos ? received : received.substr(0, lastLf);
    if (!reply.empty() && reply.back() == '\r') reply.pop_back();
    if (reply.size() > kReplyKept) reply.resize(kReplyKept);
    return reply;
}

int ReplyCode(std::string_view reply) {
    int code = 0;
    for (size_t i = 0; i < 3 && i < reply.size() && IsDigit(reply[i]); ++i)
        code = code * 10 + (reply[i] - '0');
    return code;
}

}  // namespace wardlet::smtp
