#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace wardlet {

// Stored records keep 32-bit integers little-endian whatever the host order is.
inline void StoreLe32(unsigned char* out, int32_t value) {
    auto v = static_cast<uint32_t>(value);
    out[0] = static_cast<unsigned char>(v);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v >> 16);
    out[3] = static_cast<unsigned char>(v >> 24);
}

inline int32_t LoadLe32(const unsigned char* in) {
    uint32_t v =
        uint32_t(in[0]) | uint32_t(in[1]) << 8 | uint32_t(in[2]) << 16 | uint32_t(in[3]) << 24;
    return static_cast<int32_t>(v);
}

// A fixed text field holds a zero-terminated string; this returns it (at most the whole field
// when no terminator is inside it).
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return std::string_view(field, strnlen(field, N));
}

template <size_t N>
bool FieldTerminated(const char (&field)[N]) {
    return memchr(field, '\0', N) != nullptr;
}

// Stores text into a fixed field, zero-padding the rest. The caller makes sure it fits (at most
// N - 1 bytes); anything longer is cut so the field always stays terminated.
template <size_t N>
void SetFieldText(char (&field)[N], std::string_view text) {
    size_t n = text.size() < N ? text.size() : N - 1;
    memcpy(field, text.data(), n);
    memset(field + n, 0, N - n);
}

}  // namespace wardlet
