#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wardlet::smtp {

// Content transfer encodings, stored as a 32-bit int in bodies and attachments.
enum SmtpEncoding : int32_t {
    kEncodingAuto = 0,
    kEncoding7Bit = 1,
    kEncoding8Bit = 2,
    kEncodingQuotedPrintable = 3,
    kEncodingBase64 = 4,
};

inline constexpr size_t kMaxLineLength = 76;

// Picks 7bit, 8bit, quoted-printable or base64 from the share of printable bytes and the line
// lengths. Empty input gives 7bit.
SmtpEncoding ChooseEncoding(std::string_view data);

// Cuts lines longer than `width` after a space or punctuation where there is one; CR and CR LF
// end lines (written as CR LF), a lone LF stays inside its line.
void WrapLines(std::string& out, std::string_view in, size_t width);
void EncodeQuotedPrintable(std::string& out, std::string_view in);
// Every byte 0x7F and above becomes "?".
void StripTo7Bit(std::string& out, std::string_view in);

// Encodes a body or attachment ready for the DATA stream: the chosen encoding (0 = pick one),
// lines of at most 76 characters, and dot-stuffing. Without `data`, `text` itself is the input.
// `encodingName` receives the Content-Transfer-Encoding value. For every encoding but base64
// the lines end CR LF (a lone CR or LF becomes CR LF). Without `eightBitAllowed` (a server that
// does not take 8-bit data) 8bit becomes quoted-printable.
void EncodeBody(SmtpEncoding encoding, std::string& text, std::string& encodingName,
                std::optional<std::string_view> data = std::nullopt, bool eightBitAllowed = true);

bool HasEightBitBytes(std::string_view text);
// Every CR LF, lone CR and lone LF of `text` as CR LF.
std::string NormalizeLineEnds(std::string_view text);

// Doubles a period that starts the text or follows CR LF, so no line of it can end the DATA.
std::string DotStuff(std::string_view text);

}  // namespace wardlet::smtp
