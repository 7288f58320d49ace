#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace wardlet {
namespace {

std::function<void()>& BeforeRenameHook() {
    static std::function<void()> hook;
    return hook;
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

}  // namespace

void SetBeforeRenameHookForTesting(std::function<void()> hook) {
    BeforeRenameHook() = std::move(hook);
}

bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes, mode_t mode) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::filesystem::path fresh;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        char suffix[32];
        snprintf(suffix, sizeof suffix, ".%06llx.tmp",
                 static_cast<unsigned long long>(random() & 0xffffffULL));
        fresh = file;
        fresh += suffix;
        fd = open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    // The mode given to open() is narrowed by the umask; secrets must not end up wider than asked,
    // and other files should not lose bits the caller asked for either.
    bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok && BeforeRenameHook()) BeforeRenameHook()();
    if (ok) ok = rename(fresh.c_str(), file.c_str()) == 0;
    if (!ok) unlink(fresh.c_str());
    return ok;
}

}  // namespace wardlet
