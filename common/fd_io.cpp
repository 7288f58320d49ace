#include "common/fd_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace wardlet {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) close(fd_);
}

FILE* OpenDataFileForReading(const std::filesystem::path& file) {
    int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    FILE* in = fdopen(fd, "rb");
    if (!in) close(fd);
    return in;
}

namespace {

std::optional<std::string> ReadWhole(const std::filesystem::path& file, int flags) {
    UniqueFd fd(open(file.c_str(), O_RDONLY | O_CLOEXEC | flags));
    if (fd.get() < 0) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ReadFull(fd.get(), buffer, sizeof buffer);
        if (n < 0) return std::nullopt;
        bytes.append(buffer, static_cast<size_t>(n));
        if (static_cast<size_t>(n) < sizeof buffer) return bytes;
    }
}

}  // namespace

std::optional<std::string> ReadDataFile(const std::filesystem::path& file) {
    return ReadWhole(file, O_NOFOLLOW);
}

std::optional<std::string> ReadSystemFile(const std::filesystem::path& file) {
    return ReadWhole(file, 0);
}

ssize_t ReadFull(int fd, char* buffer, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = read(fd, buffer + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

}  // namespace wardlet
