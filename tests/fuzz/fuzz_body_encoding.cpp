// EncodeBody on any bytes, with the encoding, the 8-bit permission and text or data taken from
// the first byte: the DATA-ready text has CR LF line ends only, lines of at most 76 characters
// once the dot-stuffing is undone, only the characters its encoding allows, and it decodes back
// to the input.
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "mailer/smtp/base64.h"
#include "mailer/smtp/body_encoding.h"

using namespace wardlet::smtp;

namespace {

// Every CR LF, lone CR and lone LF as CR LF (how text bodies go out).
std::string CrLfLines(std::string_view in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '\r' || in[i] == '\n') {
            if (in[i] == '\r' && i + 1 < in.size() && in[i + 1] == '\n') ++i;
            out += "\r\n";
        } else {
            out += in[i];
        }
    }
    return out;
}

std::string WithoutLineEnds(std::string_view in) {
    std::string out;
    for (char c : in)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

// The lines of `text` with the period that dot-stuffing added taken off again.
std::vector<std::string> UnstuffedLines(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') FUZZ_REQUIRE(i + 1 < text.size() && text[i + 1] == '\n');
        if (text[i] == '\n') FUZZ_REQUIRE(i > 0 && text[i - 1] == '\r');
    }
    std::vector<std::string> lines;
    for (size_t start = 0;;) {
        size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line[0] == '.') {
            FUZZ_REQUIRE(line.size() >= 2 && line[1] == '.');
            line.erase(0, 1);
        }
        FUZZ_REQUIRE(line.size() <= kMaxLineLength);
        lines.push_back(std::move(line));
        if (end == std::string::npos) return lines;
        start = end + 2;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Quoted-printable back to bytes; every "=" must start a soft break or an upper-case escape, and
// no line may end in white space.
std::string DecodeQuoted(const std::vector<std::string>& lines) {
    std::string out;
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        FUZZ_REQUIRE(line.empty() || (line.back() != ' ' && line.back() != '\t'));
        bool soft = false;
        for (size_t i = 0; i < line.size(); ++i) {
            auto c = static_cast<unsigned char>(line[i]);
            FUZZ_REQUIRE(c == '\t' || (c >= 0x20 && c <= 0x7E));
            if (c != '=') {
                out += line[i];
                continue;
            }
            if (i + 1 == line.size()) {
                soft = true;
                break;
            }
            FUZZ_REQUIRE(i + 2 < line.size());
            int high = HexDigit(line[i + 1]), low = HexDigit(line[i + 2]);
            FUZZ_REQUIRE(high >= 0 && low >= 0);
            out += static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (!soft && n + 1 < lines.size()) out += "\r\n";
    }
    return out;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& line : lines)
        out += line;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    if (size == 0) return 0;
    const unsigned char control = data[0];
    auto asked = static_cast<SmtpEncoding>(control % 5);
    bool eightBitAllowed = (control & 0x80) != 0;
    bool asData = (control & 0x40) != 0;
    std::string_view input = wardlet::fuzz::AsText(data + 1, size - 1);

    std::string text, name;
    if (asData) {
        text = "ignored when data is given";
        EncodeBody(asked, text, name, input, eightBitAllowed);
    } else {
        text = std::string(input);
        EncodeBody(asked, text, name, std::nullopt, eightBitAllowed);
    }
    std::vector<std::string> lines = UnstuffedLines(text);

    std::string lineText = CrLfLines(input);
    std::string upToZero = lineText.substr(0, lineText.find('\0'));
    if (name == "7bit" || name == "8bit") {
        FUZZ_REQUIRE(asked == kEncodingAuto || asked == kEncoding7Bit || asked == kEncoding8Bit);
        FUZZ_REQUIRE(name == "7bit" || eightBitAllowed);
        std::string expected = WithoutLineEnds(upToZero);
        if (name == "7bit")
            for (char& c : expected)
                if (static_cast<unsigned char>(c) >= 0x7F) c = '?';
        FUZZ_REQUIRE(Joined(lines) == expected);
    } else if (name == "quoted-printable") {
        FUZZ_REQUIRE(asked == kEncodingAuto || asked == kEncodingQuotedPrintable ||
                     (asked == kEncoding8Bit && !eightBitAllowed));
        FUZZ_REQUIRE(DecodeQuoted(lines) == upToZero);
    } else {
        FUZZ_REQUIRE(name == "base64");
        FUZZ_REQUIRE(asked == kEncodingAuto || asked == kEncodingBase64);
        // Files go exactly as they are; text bodies with CR LF line ends.
        std::string_view original = asData ? input : std::string_view(lineText);
        std::string joined = Joined(lines);
        FUZZ_REQUIRE(joined.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                              "0123456789+/=") == std::string::npos);
        CBase64 base64;
        base64.Decode(joined.c_str(), static_cast<uint32_t>(joined.size()));
        FUZZ_REQUIRE(base64.decodedLength() >= original.size());
        FUZZ_REQUIRE(std::string_view(reinterpret_cast<const char*>(base64.GetDecoded()),
                                      original.size()) == original);
    }
    return 0;
}
