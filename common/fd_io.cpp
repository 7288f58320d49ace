#include "common/fd_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace wardlet {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) close(fd_);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

int UniqueFd::Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
}

OpenFolder::OpenFolder(std::filesystem::path folder)
    : path_(folder.has_filename() ? std::move(folder) : folder.parent_path()),
      fd_(open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

std::pair<int, std::string> OpenFolder::Locate(const std::filesystem::path& file) const {
    if (fd_.valid() && file.has_filename() && file.parent_path() == path_)
        return {fd_.get(), file.filename().string()};
    return {AT_FDCWD, file.string()};
}

std::pair<int, std::string> LocateFile(const std::filesystem::path& file, const OpenFolder* in) {
    return in ? in->Locate(file) : std::pair<int, std::string>{AT_FDCWD, file.string()};
}

UniqueFd OpenDataFile(const std::filesystem::path& file, DataFileMode mode, mode_t permissions,
                      const OpenFolder* in) {
    int flags = O_NOFOLLOW | O_CLOEXEC;
    switch (mode) {
        case DataFileMode::Read:
            flags |= O_RDONLY;
            break;
        case DataFileMode::Rewrite:
            flags |= O_WRONLY | O_TRUNC;
            break;
        case DataFileMode::CreateNew:
            flags |= O_WRONLY | O_CREAT | O_EXCL;
            break;
    }
    if (mode == DataFileMode::Read) return UniqueFd(OpenWithoutAccessTime(file, flags, in));
    auto [at, name] = LocateFile(file, in);
    int fd;
    do {
        fd = openat(at, name.c_str(), flags, permissions);
    } while (fd < 0 && errno == EINTR);
    return UniqueFd(fd);
}

int OpenWithoutAccessTime(const std::filesystem::path& file, int flags, const OpenFolder* in) {
    auto [at, name] = LocateFile(file, in);
    int fd;
    do {
        fd = openat(at, name.c_str(), flags | O_NOATIME);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 || errno != EPERM) return fd;
    do {  // a file of another owner: read with its access time kept
        fd = openat(at, name.c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

UniqueFd OpenRegularFileForReading(const std::filesystem::path& file) {
    UniqueFd fd(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return UniqueFd();
    fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

FILE* OpenDataFileForReading(const std::filesystem::path& file) {
    UniqueFd fd = OpenDataFile(file, DataFileMode::Read);
    if (!fd.valid()) return nullptr;
    FILE* in = fdopen(fd.get(), "rb");
    if (in) fd.Release();
    return in;
}

namespace {

std::optional<std::string> ReadWhole(UniqueFd fd) {
    if (fd.get() < 0) return std::nullopt;
    std::string bytes;
    // Room for the whole file at once: a large copy grown by doubling would hold half as much
    // again while it moves.
    struct stat status {};
    if (fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
        bytes.reserve(static_cast<size_t>(status.st_size));
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
    return ReadWhole(OpenDataFile(file, DataFileMode::Read));
}

std::optional<bool> DataFileHolds(const std::filesystem::path& file, std::string_view bytes) {
    UniqueFd fd = OpenDataFile(file, DataFileMode::Read);
    if (!fd.valid()) return std::nullopt;
    struct stat status {};
    if (fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<uint64_t>(status.st_size) != bytes.size())
        return false;
    char buffer[65536];
    for (;;) {
        ssize_t n = ReadFull(fd.get(), buffer, sizeof buffer);
        if (n < 0) return std::nullopt;
        auto size = static_cast<size_t>(n);
        if (size > bytes.size() || memcmp(buffer, bytes.data(), size) != 0) return false;
        bytes.remove_prefix(size);
        if (size < sizeof buffer) return bytes.empty();
    }
}

std::optional<std::string> ReadSystemFile(const std::filesystem::path& file) {
    return ReadWhole(UniqueFd(open(file.c_str(), O_RDONLY | O_CLOEXEC)));
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
