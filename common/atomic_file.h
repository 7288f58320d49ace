#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wardlet {

class OpenFolder;

// Replaces `file` with `bytes` so that readers see either the old or the new content, never a
// half-written file: the bytes go to a new file beside it (its name ends in ".tmp", so one left
// by a crash is removed with the other temporary files), are flushed, then renamed over it.
// A failed write removes the new file and leaves the old one as it was. `mode` applies to the
// new file (0600 for files that hold secrets).
[[nodiscard]] bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                                         mode_t mode = 0644);

// The same with a copy of `source` (not followed when it is a symbolic link), read in blocks, so
// a large file never sits in memory; false when the source cannot be read or the copy written,
// and then `file` is as it was.
[[nodiscard]] bool ReplaceFileWithCopyOf(const std::filesystem::path& file,
                                         const std::filesystem::path& source, mode_t mode = 0644);

// Called between the blocks of a long copy with the bytes copied so far and the size of the
// source; returning false stops the copy.
using CopyProgress = std::function<bool(uint64_t done, uint64_t total)>;
enum class [[nodiscard]] CopyOutcome{Done, Failed, Cancelled};

// ReplaceFileWithCopyOf with progress: a failed or stopped copy leaves `file` as it was.
CopyOutcome ReplaceFileWithCopyOf(const std::filesystem::path& file,
                                  const std::filesystem::path& source, mode_t mode,
                                  const CopyProgress& progress);

// Copies `source` (not followed when it is a link) into the new file `target` (never an
// existing one, never through a link), without a flush: a copy for a viewer, not a stored file.
// A failed or stopped copy removes `target`.
CopyOutcome CopyToNewFile(const std::filesystem::path& target, const std::filesystem::path& source,
                          mode_t mode, const CopyProgress& progress);

// Replaces many files at once with the same guarantee per file: the new files are written first,
// made durable by one flush, then renamed. New files not committed are removed.
class AtomicReplaceBatch {
public:
    AtomicReplaceBatch() = default;
    ~AtomicReplaceBatch();
    AtomicReplaceBatch(const AtomicReplaceBatch&) = delete;
    AtomicReplaceBatch& operator=(const AtomicReplaceBatch&) = delete;

    // Writes the new file for `file`; false (and the old file untouched) when that failed.
    bool Add(const std::filesystem::path& file, std::string_view bytes, mode_t mode = 0644);
    // Renames every written file over its target; returns how many were replaced.
    size_t Commit();

private:
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> pending_;  // new, target
};

// The steps of the above for callers that batch them themselves:
// writes `bytes` to a new file beside `file` (its name ends in ".tmp") without flushing it;
// its path, or nullopt (and no file) when that failed.
std::optional<std::filesystem::path> WriteFileBeside(const std::filesystem::path& file,
                                                     std::string_view bytes, mode_t mode);
// Flushes the whole file system that holds `anyFile`: one flush for many new files.
void FlushFileSystemOf(const std::filesystem::path& anyFile);
// Makes renames in the folder of `file` durable.
void SyncFolderOf(const std::filesystem::path& file);

// Rewrites in place, for callers that keep a durable journal of what they write, so that a crash
// in the middle can be finished later: a rewrite then costs the file system no new file.
// The content of `file` when it is a regular file (not followed when it is a symbolic link) with
// one name, permissions `mode` and exactly `size` bytes; nullopt otherwise.
// `in`, when given, is the open folder of the file.
std::optional<std::string> ReadFileToRewrite(const std::filesystem::path& file, size_t size,
                                             mode_t mode, const OpenFolder* in = nullptr);
// Writes `bytes` at `offset` of the existing `file` (never creating it, never through a link),
// without flushing; false when it could not.
[[nodiscard]] bool RewriteFileRange(const std::filesystem::path& file, size_t offset,
                                    std::string_view bytes, const OpenFolder* in = nullptr);

// Test seam: called after the new file is written and before the rename.
void SetBeforeRenameHookForTesting(std::function<void()> hook);

}  // namespace wardlet
