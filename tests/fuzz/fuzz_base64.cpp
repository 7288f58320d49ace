// CBase64 on any bytes, with one object reused as the session reuses it: the encoding has the
// expected length and alphabet, decodes back to the input, and decoding any text stays within
// its buffer and reads as a terminated text.
#include <cstring>
#include <string_view>

#include "fuzz_check.h"
#include "mailer/smtp/base64.h"

using namespace wardlet::smtp;

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void CheckEncoding(const CBase64& base64, const uint8_t* data, uint32_t length) {
    uint32_t padded = (length + 2) / 3 * 4;
    FUZZ_REQUIRE(base64.encodedLength() == padded);
    std::string_view text(base64.GetEncoded(), strlen(base64.GetEncoded()));
    FUZZ_REQUIRE(text.size() == padded);
    size_t padding = length % 3 == 0 ? 0 : 3 - length % 3;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i >= text.size() - padding)
            FUZZ_REQUIRE(text[i] == '=');
        else
            FUZZ_REQUIRE(kAlphabet.find(text[i]) != std::string_view::npos);
    }
    // The decoded buffer holds the input too (Encode keeps it).
    FUZZ_REQUIRE(base64.decodedLength() == length);
    FUZZ_REQUIRE(length == 0 || memcmp(base64.GetDecoded(), data, length) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto length = static_cast<uint32_t>(size);
    CBase64 base64;
    base64.Encode(data, length);
    CheckEncoding(base64, data, length);

    // A padded group decodes to whole three-byte groups: the input, then zeros.
    std::string encoded(base64.GetEncoded(), base64.encodedLength());
    CBase64 back;
    back.Decode(encoded.c_str(), static_cast<uint32_t>(encoded.size()));
    FUZZ_REQUIRE(back.decodedLength() == (length + 2) / 3 * 3);
    FUZZ_REQUIRE(length == 0 || memcmp(back.GetDecoded(), data, length) == 0);
    for (uint32_t i = length; i < back.decodedLength(); ++i)
        FUZZ_REQUIRE(back.GetDecoded()[i] == 0);

    // Any text as a server's prompt: at most three bytes for every four characters kept, and a
    // terminator after them. The same object then encodes again with its grown buffers.
    base64.Decode(reinterpret_cast<const char*>(data), length);
    uint32_t kept = base64.encodedLength();
    FUZZ_REQUIRE(kept <= length);
    FUZZ_REQUIRE(base64.decodedLength() <= kept / 4 * 3 + kept % 4);
    FUZZ_REQUIRE(base64.GetDecoded()[base64.decodedLength()] == 0);
    FUZZ_REQUIRE(base64.GetEncoded()[kept] == '\0');
    uint32_t half = length / 2;
    base64.Encode(data + half, length - half);
    CheckEncoding(base64, data + half, length - half);
    return 0;
}
