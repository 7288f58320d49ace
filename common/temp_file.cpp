#include "common/temp_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace wardlet {

std::optional<std::filesystem::path> CreateTempFile(const std::filesystem::path& folder) {
    thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 64; ++attempt) {
        char name[32];
        snprintf(name, sizeof name, "UVP%X.tmp", static_cast<unsigned>(random() & 0xffff));
        std::filesystem::path candidate = folder / name;
        int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            close(fd);
            return candidate;
        }
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace wardlet
