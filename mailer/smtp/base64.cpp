#include "mailer/smtp/base64.h"

#include <array>
#include <cstring>

namespace wardlet::smtp {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kInvalid = 254;
constexpr uint8_t kPadding = 255;

// One table for every object, built on first use. A character with its top bit set decodes like
// the character without it.
const std::array<uint8_t, 256>& DecodeTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        t.fill(kInvalid);
        for (uint8_t i = 0; i < 64; ++i) {
            auto c = static_cast<uint8_t>(kAlphabet[i]);
            t[c] = i;
            t[c | 0x80] = i;
        }
        t['='] = kPadding;
        t['=' | 0x80] = kPadding;
        return t;
    }();
    return table;
}

// Capacity for n bytes: the next multiple of 4096 strictly above n.
uint32_t CapacityFor(uint32_t n) {
    return (n / 4096 + 1) * 4096;
}

}  // namespace

CBase64::~CBase64() = default;

void CBase64::EncodeString(const char* text) {
    if (!text) return;
    Encode(reinterpret_cast<const uint8_t*>(text), static_cast<uint32_t>(strlen(text)));
}

void CBase64::Encode(const uint8_t* data, uint32_t length) {
    SetDecoded(data, length);
    AllocEncoded(length * 2);
    const uint8_t* in = decoded_.get();
    uint32_t i = 0;
    for (; i + 3 <= length; i += 3) {
        Base64Group group{{in[i], in[i + 1], in[i + 2], 0}, 3};
        EncodeGroup(group, encoded_.get() + encodedLength_);
        encodedLength_ += 4;
    }
    if (i < length) {
        Base64Group group;
        group.count = static_cast<uint8_t>(length - i);
        for (uint32_t k = 0; k < group.count; ++k)
            group.values[k] = in[i + k];
        EncodeGroup(group, encoded_.get() + encodedLength_);
        encodedLength_ += 4;
    }
}

void CBase64::DecodeString(const char* text) {
    if (!text) return;
    Decode(text, static_cast<uint32_t>(strlen(text)));
}

void CBase64::Decode(const char* text, uint32_t length) {
    const auto& table = DecodeTable();
    SetEncoded(text, length);
    AllocDecoded(length);
    // Characters outside the alphabet carry no bits; they are skipped like line breaks.
    Base64Group group;
    for (uint32_t i = 0; i < encodedLength_; ++i) {
        uint8_t value = table[static_cast<uint8_t>(encoded_[i])];
        if (value == kInvalid) continue;
        group.values[group.count++] = value == kPadding ? 0 : value;
        if (group.count == 4) {
            DecodeGroup(group, decoded_.get() + decodedLength_);
            decodedLength_ += 3;
            group = Base64Group{};
        }
    }
    if (group.count > 0) {
        DecodeGroup(group, decoded_.get() + decodedLength_);
        decodedLength_ += group.count;
    }
}

const uint8_t* CBase64::GetDecoded() const {
    static const uint8_t empty[1] = {0};
    return decoded_ ? decoded_.get() : empty;
}

const char* CBase64::GetEncoded() const {
    return encoded_ ? encoded_.get() : "";
}

void CBase64::AllocEncoded(uint32_t n) {
    if (encodedCapacity_ < n) {
        encodedCapacity_ = CapacityFor(n);
        encoded_ = std::make_unique<char[]>(encodedCapacity_);
    }
    if (encoded_) memset(encoded_.get(), 0, encodedCapacity_);
    encodedLength_ = 0;
}

void CBase64::AllocDecoded(uint32_t n) {
    if (decodedCapacity_ < n) {
        decodedCapacity_ = CapacityFor(n);
        decoded_ = std::make_unique<uint8_t[]>(decodedCapacity_);
    }
    if (decoded_) memset(decoded_.get(), 0, decodedCapacity_);
    decodedLength_ = 0;
}

void CBase64::SetEncoded(const char* text, uint32_t length) {
    AllocEncoded(length);
    for (uint32_t i = 0; i < length; ++i) {
        if (!IsIgnorable(static_cast<uint8_t>(text[i]))) encoded_[encodedLength_++] = text[i];
    }
}

void CBase64::SetDecoded(const uint8_t* data, uint32_t length) {
    AllocDecoded(length);
    if (length > 0) memcpy(decoded_.get(), data, length);
    decodedLength_ = length;
}

void CBase64::EncodeGroup(const Base64Group& bytes, char* out) const {
    Base64Group split;
    SplitGroup(split, bytes);
    for (int k = 0; k < 4; ++k)
        out[k] = kAlphabet[split.values[k]];
    if (bytes.count == 1) out[2] = '=';
    if (bytes.count <= 2) out[3] = '=';
}

void CBase64::DecodeGroup(const Base64Group& values, uint8_t* out) const {
    JoinGroup(out, values);
}

void CBase64::SplitGroup(Base64Group& out, const Base64Group& bytes) const {
    const uint8_t* b = bytes.values;
    out.values[0] = b[0] >> 2;
    out.values[1] = static_cast<uint8_t>((b[0] & 3) << 4 | b[1] >> 4);
    out.values[2] = static_cast<uint8_t>((b[1] & 15) << 2 | b[2] >> 6);
    out.values[3] = b[2] & 63;
    out.count = 4;
}

void CBase64::JoinGroup(uint8_t* out, const Base64Group& values) const {
    const uint8_t* v = values.values;
    out[0] = static_cast<uint8_t>(v[0] << 2 | (v[1] >> 4 & 3));
    out[1] = static_cast<uint8_t>(v[1] << 4 | (v[2] >> 2 & 15));
    out[2] = static_cast<uint8_t>(v[2] << 6 | (v[3] & 63));
}

int CBase64::IsIgnorable(uint8_t byte) const {
    return (byte >= 7 && byte <= 13) || byte == 32;
}

}  // namespace wardlet::smtp
