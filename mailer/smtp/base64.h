#pragma once

#include <cstdint>
#include <memory>

namespace wardlet::smtp {

// Up to four values and how many of them are real; passed between the group operations.
struct Base64Group {
    uint8_t values[4] = {0, 0, 0, 0};
    uint8_t count = 0;
};

// Base64 with reusable buffers. Both buffers are zero-filled and always larger than what is
// written, so the results read as zero-terminated texts.
class CBase64 {
public:
    CBase64() = default;
    CBase64(const CBase64&) = delete;
    CBase64& operator=(const CBase64&) = delete;

    virtual ~CBase64();
    // A null text does nothing; otherwise Encode of its bytes up to the terminating zero.
    virtual void EncodeString(const char* text);
    virtual void Encode(const uint8_t* data, uint32_t length);
    virtual void DecodeString(const char* text);
    virtual void Decode(const char* text, uint32_t length);
    // Never null: a buffer that was never prepared reads as an empty text.
    virtual const uint8_t* GetDecoded() const;
    virtual const char* GetEncoded() const;
    virtual void AllocEncoded(uint32_t n);
    virtual void AllocDecoded(uint32_t n);
    virtual void SetEncoded(const char* text, uint32_t length);
    virtual void SetDecoded(const uint8_t* data, uint32_t length);
    virtual void EncodeGroup(const Base64Group& bytes, char* out) const;
    virtual void DecodeGroup(const Base64Group& values, uint8_t* out) const;
    virtual void SplitGroup(Base64Group& out, const Base64Group& bytes) const;
    virtual void JoinGroup(uint8_t* out, const Base64Group& values) const;
    virtual int IsIgnorable(uint8_t byte) const;

    uint32_t decodedLength() const { return decodedLength_; }
    uint32_t encodedLength() const { return encodedLength_; }

private:
    std::unique_ptr<uint8_t[]> decoded_;
    std::unique_ptr<char[]> encoded_;
    uint32_t decodedCapacity_ = 0;
    uint32_t encodedCapacity_ = 0;
    uint32_t decodedLength_ = 0;
    uint32_t encodedLength_ = 0;
};

}  // namespace wardlet::smtp
