// The session's reading of server replies from any bytes, cut into pieces as a socket might
// deliver them (each piece led by a byte that sets its length): a reply ends exactly when its
// last complete line is no "ddd-" continuation or the read limit is reached, nothing received is
// lost or reordered, and the kept reply, its code and the EHLO offers come from it.
#include <string>

#include "fuzz_check.h"
#include "mailer/smtp/smtp_reply.h"
#include "mailer/smtp/smtp_session.h"

using namespace wardlet::smtp;

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The line before the last line feed of `text`, which has one.
std::string_view LastCompleteLine(std::string_view text) {
    size_t lastLf = text.rfind('\n');
    std::string_view before = text.substr(0, lastLf);
    size_t previousLf = before.rfind('\n');
    return previousLf == std::string_view::npos ? before : before.substr(previousLf + 1);
}

bool IsContinuation(std::string_view line) {
    return line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
           line[3] == '-';
}

void CheckReply(const std::string& received) {
    std::string reply = TrimReply(received);
    FUZZ_REQUIRE(reply.size() <= kReplyKept);
    FUZZ_REQUIRE(received.compare(0, reply.size(), reply) == 0);
    size_t lastLf = received.rfind('\n');
    if (lastLf != std::string::npos && reply.size() < kReplyKept) {
        std::string_view expected(received.data(), lastLf);
        if (!expected.empty() && expected.back() == '\r') expected.remove_suffix(1);
        FUZZ_REQUIRE(reply == expected);
    }
    int code = ReplyCode(reply);
    FUZZ_REQUIRE(code >= 0 && code <= 999);
    if (reply.size() >= 3 && IsDigit(reply[0]) && IsDigit(reply[1]) && IsDigit(reply[2]))
        FUZZ_REQUIRE(code == std::stoi(reply.substr(0, 3)));
    if (reply.empty() || !IsDigit(reply[0])) FUZZ_REQUIRE(code == 0);

    SmtpExtensions offered = ParseExtensions(reply);
    // The first line greets: a one-line reply offers nothing.
    if (reply.find('\n') == std::string::npos)
        FUZZ_REQUIRE(!offered.startTls && !offered.eightBitMime && !offered.authLogin &&
                     !offered.authPlain);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::string_view bytes = wardlet::fuzz::AsText(data, size);
    std::string received, kept;  // `kept`: the pieces that carry text, in order
    while (!bytes.empty()) {
        size_t length = 1 + static_cast<unsigned char>(bytes[0]) * 4u;
        bytes.remove_prefix(1);
        std::string_view piece = bytes.substr(0, length);
        bytes.remove_prefix(piece.size());
        if (!piece.empty() && piece[0] != '\0') kept += piece;

        ReplyProgress progress = AppendReplyPiece(received, piece);
        FUZZ_REQUIRE(received == kept);
        bool ended =
            received.find('\n') != std::string::npos && !IsContinuation(LastCompleteLine(received));
        if (progress == ReplyProgress::NeedMore) {
            FUZZ_REQUIRE(!ended && received.size() < kReplyReadLimit);
            continue;
        }
        FUZZ_REQUIRE(ended || received.size() >= kReplyReadLimit);
        CheckReply(received);
        received.clear();  // what follows is the next reply
        kept.clear();
    }
    // The time limit ends a reply that never completed: what arrived is taken.
    if (!received.empty()) CheckReply(received);
    return 0;
}
