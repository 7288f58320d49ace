#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace wardlet::smtp {

// lastReply keeps what fits a 1024-byte buffer with its terminator.
inline constexpr size_t kReplyKept = 1023;
// A server that never ends its reply gets cut off here rather than filling memory.
inline constexpr size_t kReplyReadLimit = 64 * 1024;

enum class [[nodiscard]] ReplyProgress{NeedMore, Complete};

// Adds one piece read from the server to `received`. A piece whose first byte is zero carries no
// reply text and is left out. Complete once the text ends a reply (its last complete line is not
// a "ddd-" continuation line) or reaches kReplyReadLimit.
ReplyProgress AppendReplyPiece(std::string& received, std::string_view piece);

// The reply without its final line end (and without anything after it), at most kReplyKept.
std::string TrimReply(const std::string& received);

// The code from the first three characters: as many leading digits as there are.
int ReplyCode(std::string_view reply);

}  // namespace wardlet::smtp
