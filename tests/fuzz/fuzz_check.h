#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

// A broken invariant is a crash to libFuzzer: it keeps the input that caused it.
#define FUZZ_REQUIRE(condition)                                                                    \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace wardlet::fuzz {

inline std::string_view AsText(const unsigned char* data, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Replaces `file` with exactly these bytes (the readers under test open it by path).
void WriteWholeFile(const std::filesystem::path& file, std::string_view bytes);

// One private folder for the whole run, removed at exit.
const std::filesystem::path& ScratchFolder();

}  // namespace wardlet::fuzz
