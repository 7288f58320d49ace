#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/fd_io.h"

namespace wardlet {
namespace {

std::function<void()>& BeforeRenameHook() {
    static std::function<void()> hook;
    return hook;
}

// Writes a new file beside `file` through `fill`; its path, or nullopt (and no file) on failure.
std::optional<std::filesystem::path> WriteFreshFile(const std::filesystem::path& file,
                                                    const std::function<bool(int)>& fill,
                                                    mode_t mode, bool flush) {
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
        if (fd < 0 && errno != EEXIST) return std::nullopt;
    }
    if (fd < 0) return std::nullopt;
    // The mode given to open() is narrowed by the umask; secrets must not end up wider than asked,
    // and other files should not lose bits the caller asked for either.
    bool ok = fchmod(fd, mode) == 0 && fill(fd) && (!flush || fsync(fd) == 0);
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(fresh.c_str());
        return std::nullopt;
    }
    return fresh;
}

bool MoveIntoPlace(const std::filesystem::path& fresh, const std::filesystem::path& file) {
    if (BeforeRenameHook()) BeforeRenameHook()();
    if (rename(fresh.c_str(), file.c_str()) == 0) return true;
    unlink(fresh.c_str());
    return false;
}

std::optional<std::filesystem::path> WriteFreshFile(const std::filesystem::path& file,
                                                    std::string_view bytes, mode_t mode,
                                                    bool flush) {
    return WriteFreshFile(
        file, [bytes](int fd) { return WriteAll(fd, bytes); }, mode, flush);
}

// Block by block, asking `progress` between blocks; `cancelled` tells a stop from a failure.
bool CopyAll(int from, int to, const CopyProgress& progress = {}, bool* cancelled = nullptr) {
    struct stat st {};
    uint64_t total = fstat(from, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    uint64_t done = 0;
    std::vector<char> block(1 << 20);
    for (;;) {
        if (progress && !progress(done, total)) {
            if (cancelled) *cancelled = true;
            return false;
        }
        ssize_t got = ReadFull(from, block.data(), block.size());
        if (got < 0) return false;
        if (got == 0) return true;
        if (!WriteAll(to, std::string_view(block.data(), static_cast<size_t>(got)))) return false;
        done += static_cast<uint64_t>(got);
    }
}

}  // namespace

// A power cut after the rename cannot bring the old file back.
void SyncFolderOf(const std::filesystem::path& file) {
    auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

std::optional<std::filesystem::path> WriteFileBeside(const std::filesystem::path& file,
                                                     std::string_view bytes, mode_t mode) {
    return WriteFreshFile(file, bytes, mode, false);
}

void FlushFileSystemOf(const std::filesystem::path& anyFile) {
    int fd = open(anyFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || syncfs(fd) != 0) sync();
    if (fd >= 0) close(fd);
}

std::optional<std::string> ReadFileToRewrite(const std::filesystem::path& file, size_t size,
                                             mode_t mode, const OpenFolder* in) {
    UniqueFd fd(OpenWithoutAccessTime(file, O_RDONLY | O_NOFOLLOW | O_CLOEXEC, in));
    struct stat st {};
    if (fd.get() < 0 || fstat(fd.get(), &st) != 0) return std::nullopt;
    // A second name would see the rewrite too; other permissions need a new file.
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || (st.st_mode & 07777) != mode ||
        st.st_size != static_cast<off_t>(size))
        return std::nullopt;
    std::string bytes(size, '\0');
    if (ReadFull(fd.get(), bytes.data(), size) != static_cast<ssize_t>(size)) return std::nullopt;
    return bytes;
}

bool RewriteFileRange(const std::filesystem::path& file, size_t offset, std::string_view bytes,
                      const OpenFolder* in) {
    auto [at, name] = LocateFile(file, in);
    UniqueFd fd(openat(at, name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) return false;
    while (!bytes.empty()) {
        ssize_t n = pwrite(fd.get(), bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
        offset += static_cast<size_t>(n);
    }
    return true;
}

void SetBeforeRenameHookForTesting(std::function<void()> hook) {
    BeforeRenameHook() = std::move(hook);
}

bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes, mode_t mode) {
    auto fresh = WriteFreshFile(file, bytes, mode, true);
    if (!fresh || !MoveIntoPlace(*fresh, file)) return false;
    SyncFolderOf(file);
    return true;
}

bool ReplaceFileWithCopyOf(const std::filesystem::path& file, const std::filesystem::path& source,
                           mode_t mode) {
    return ReplaceFileWithCopyOf(file, source, mode, {}) == CopyOutcome::Done;
}

CopyOutcome ReplaceFileWithCopyOf(const std::filesystem::path& file,
                                  const std::filesystem::path& source, mode_t mode,
                                  const CopyProgress& progress) {
    UniqueFd from = OpenDataFile(source, DataFileMode::Read);
    if (!from.valid()) return CopyOutcome::Failed;
    bool cancelled = false;
    auto fresh = WriteFreshFile(
        file, [&](int to) { return CopyAll(from.get(), to, progress, &cancelled); }, mode, true);
    if (cancelled) return CopyOutcome::Cancelled;
    if (!fresh || !MoveIntoPlace(*fresh, file)) return CopyOutcome::Failed;
    SyncFolderOf(file);
    return CopyOutcome::Done;
}

CopyOutcome CopyToNewFile(const std::filesystem::path& target, const std::filesystem::path& source,
                          mode_t mode, const CopyProgress& progress) {
    UniqueFd from = OpenDataFile(source, DataFileMode::Read);
    if (!from.valid()) return CopyOutcome::Failed;
    UniqueFd to = OpenDataFile(target, DataFileMode::CreateNew, mode);
    if (!to.valid()) return CopyOutcome::Failed;
    bool cancelled = false;
    bool copied = CopyAll(from.get(), to.get(), progress, &cancelled);
    if (close(to.Release()) != 0) copied = false;
    if (copied) return CopyOutcome::Done;
    unlink(target.c_str());
    return cancelled ? CopyOutcome::Cancelled : CopyOutcome::Failed;
}

AtomicReplaceBatch::~AtomicReplaceBatch() {
    for (const auto& [fresh, file] : pending_)
        unlink(fresh.c_str());
}

bool AtomicReplaceBatch::Add(const std::filesystem::path& file, std::string_view bytes,
                             mode_t mode) {
    auto fresh = WriteFreshFile(file, bytes, mode, false);
    if (fresh) pending_.emplace_back(*fresh, file);
    return fresh.has_value();
}

size_t AtomicReplaceBatch::Commit() {
    if (pending_.empty()) return 0;
    // One flush of the file system holding the new files makes all of them durable before any
    // rename, instead of one flush per file.
    FlushFileSystemOf(pending_.front().first);
    size_t moved = 0;
    for (const auto& [fresh, file] : pending_)
        if (MoveIntoPlace(fresh, file)) ++moved;
    if (moved > 0) FlushFileSystemOf(pending_.front().second);  // and the renames with them
    pending_.clear();
    return moved;
}

}  // namespace wardlet
