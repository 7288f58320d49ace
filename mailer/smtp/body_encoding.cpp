#include "mailer/smtp/body_encoding.h"

#include <chrono>
#include <cstdio>

#include "common/debug_log.h"
#include "mailer/smtp/base64.h"

namespace wardlet::smtp {
namespace {

bool IsPrintable(uint8_t c) {
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c <= 0x7E);
}

bool IsBreakChar(char c) {
    return c == ' ' || c == '-' || c == ';' || c == '.' || c == ',' || c == '?' || c == '!';
}

// Calls `line(text, endedByCr)` for each line of `in`. A CR ends a line (a following LF belongs
// to that line end); a lone LF stays inside its line.
template <typename LineFn>
void ForEachLine(std::string_view in, LineFn&& line) {
    size_t start = 0;
    while (start < in.size()) {
        size_t cr = in.find('\r', start);
        if (cr == std::string_view::npos) {
            line(in.substr(start), false);
            return;
        }
        line(in.substr(start, cr - start), true);
        start = cr + 1;
        if (start < in.size() && in[start] == '\n') ++start;
    }
}

// Where to cut a line with break characters: after the break character at the last allowed
// position, else after the nearest one before it; at `width` when none lies within reach.
size_t WrapCut(std::string_view rest, size_t width) {
    for (size_t i = width; i-- > 0;) {
        if (IsBreakChar(rest[i])) return i + 1;
    }
    return width;
}

// A cut that is not after a break character must not split a UTF-8 character in two.
size_t KeepCharacterWhole(std::string_view rest, size_t cut) {
    size_t at = cut;
    while (at > 0 && (static_cast<uint8_t>(rest[at]) & 0xC0) == 0x80)
        --at;
    return at > 0 ? at : cut;
}

void WrapOneLine(std::string& out, std::string_view line, bool endedByCr, size_t width) {
    bool hasBreaks = line.find_first_of(" -;.,?!") != std::string_view::npos;
    while (line.size() > width) {
        size_t cut = hasBreaks ? WrapCut(line, width) : width;
        if (!IsBreakChar(line[cut - 1])) cut = KeepCharacterWhole(line, cut);
        out.append(line.substr(0, cut));
        out.append("\r\n");
        line.remove_prefix(cut);
    }
    out.append(line);
    if (endedByCr) out.append("\r\n");
}

void AppendEscape(std::string& out, uint8_t c) {
    char hex[4];
    snprintf(hex, sizeof hex, "=%2.2X", c);
    out.append(hex, 3);
}

// Escapes one byte as quoted-printable allows it in the middle of a line.
void AppendQuoted(std::string& out, uint8_t c) {
    bool plain =
        c == '\t' || c == '\n' || c == '\r' || (c >= 0x20 && c <= 0x3C) || (c >= 0x3E && c <= 0x7E);
    if (plain)
        out.push_back(static_cast<char>(c));
    else
        AppendEscape(out, c);
}

void LimitQuotedLine(std::string& out, std::string line, bool endedByCr) {
    std::string_view rest = line;
    std::string escapedTail;
    for (;;) {
        while (rest.size() > kMaxLineLength) {
            // Never split an escape across the soft line break.
            size_t cut = rest[74] == '=' ? 74 : rest[73] == '=' ? 73 : 75;
            out.append(rest.substr(0, cut));
            out.append("=\r\n");
            rest.remove_prefix(cut);
        }
        if (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) {
            // Trailing white space would be stripped in transit; send it escaped.
            std::string tail(rest.substr(0, rest.size() - 1));
            AppendEscape(tail, static_cast<uint8_t>(rest.back()));
            escapedTail = std::move(tail);
            rest = escapedTail;
            continue;
        }
        out.append(rest);
        if (endedByCr) out.append("\r\n");
        return;
    }
}

const char* EncodingName(SmtpEncoding encoding) {
    switch (encoding) {
        case kEncoding7Bit:
            return "7bit";
        case kEncoding8Bit:
            return "8bit";
        case kEncodingQuotedPrintable:
            return "quoted-printable";
        default:
            return "base64";
    }
}

// The input as a zero-terminated text: it ends at its first zero byte.
std::string_view UpToZero(std::string_view data) {
    return data.substr(0, data.find('\0'));
}

}  // namespace

SmtpEncoding ChooseEncoding(std::string_view data) {
    if (data.empty()) return kEncoding7Bit;
    size_t printable = 0;
    bool longLine = false;
    bool nonPrintable = false;
    size_t lineStart = 0;
    for (size_t i = 0; i < data.size(); ++i) {
        auto c = static_cast<uint8_t>(data[i]);
        if (IsPrintable(c))
            ++printable;
        else
            nonPrintable = true;
        if (c == '\r') {
            // The previous line end's LF sits at lineStart, hence the extra one.
            if (i >= lineStart + 1 && i - lineStart - 1 > kMaxLineLength) longLine = true;
            lineStart = i + 1;
        }
    }
    if (printable * 100 / data.size() < 90) return kEncodingBase64;
    if (longLine) return kEncodingQuotedPrintable;
    if (nonPrintable) return kEncoding8Bit;
    return kEncoding7Bit;
}

void WrapLines(std::string& out, std::string_view in, size_t width) {
    out.clear();
    if (in.empty() || width == 0) return;
    out.reserve(in.size() + 2 * (in.size() / 60));
    ForEachLine(in, [&](std::string_view line, bool endedByCr) {
        WrapOneLine(out, line, endedByCr, width);
    });
}

void EncodeQuotedPrintable(std::string& out, std::string_view in) {
    std::string escaped;
    escaped.reserve(in.size() + in.size() / 8);
    for (char c : in)
        AppendQuoted(escaped, static_cast<uint8_t>(c));
    out.clear();
    out.reserve(escaped.size() + escaped.size() / 25);
    ForEachLine(escaped, [&](std::string_view line, bool endedByCr) {
        LimitQuotedLine(out, std::string(line), endedByCr);
    });
}

void StripTo7Bit(std::string& out, std::string_view in) {
    out.assign(in);
    for (char& c : out) {
        if (static_cast<uint8_t>(c) >= 0x7F) c = '?';
    }
}

std::string DotStuff(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    if (!text.empty() && text[0] == '.') out.push_back('.');
    size_t start = 0;
    for (;;) {
        size_t hit = text.find("\r\n.", start);
        if (hit == std::string_view::npos) break;
        out.append(text.substr(start, hit + 3 - start));
        out.push_back('.');
        start = hit + 3;
    }
    out.append(text.substr(start));
    return out;
}

bool HasEightBitBytes(std::string_view text) {
    for (char c : text) {
        if (static_cast<uint8_t>(c) >= 0x80) return true;
    }
    return false;
}

std::string NormalizeLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            out.append("\r\n");
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void EncodeBody(SmtpEncoding encoding, std::string& text, std::string& encodingName,
                std::optional<std::string_view> data, bool eightBitAllowed) {
    auto started = std::chrono::steady_clock::now();
    std::string raw;
    if (!data) raw = text;
    std::string_view bytes = data ? *data : std::string_view(raw);
    // Text goes out in lines ended by CR LF; base64 carries a file's bytes exactly as they are.
    std::string lines = NormalizeLineEnds(bytes);
    if (encoding < kEncoding7Bit || encoding > kEncodingBase64) encoding = ChooseEncoding(lines);
    if (encoding == kEncoding8Bit && !eightBitAllowed) encoding = kEncodingQuotedPrintable;
    std::string_view input = encoding == kEncodingBase64 && data ? bytes : std::string_view(lines);
    encodingName = EncodingName(encoding);

    std::string encoded;
    switch (encoding) {
        case kEncoding7Bit: {
            std::string stripped;
            StripTo7Bit(stripped, UpToZero(input));
            WrapLines(encoded, stripped, kMaxLineLength);
            break;
        }
        case kEncoding8Bit:
            WrapLines(encoded, UpToZero(input), kMaxLineLength);
            break;
        case kEncodingQuotedPrintable:
            EncodeQuotedPrintable(encoded, UpToZero(input));
            break;
        default: {
            CBase64 base64;
            base64.Encode(reinterpret_cast<const uint8_t*>(input.data()),
                          static_cast<uint32_t>(input.size()));
            WrapLines(encoded, std::string_view(base64.GetEncoded(), base64.encodedLength()),
                      kMaxLineLength);
            break;
        }
    }
    text = DotStuff(encoded);

    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    DebugLog("Encoding took " + std::to_string(elapsed.count()) + "ms");
}

}  // namespace wardlet::smtp
