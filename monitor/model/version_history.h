#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// Earlier copies of a document, kept in "History/<name>/" of the data folder when a check finds a
// change: "<sequence>.version" holds the replaced copy's bytes as they were stored (a hard link
// made before the new copy is renamed over it, so it is never torn), and its time is the file's
// modification time, the time that copy was fetched. A copy over the byte bound leaves
// "<sequence>.toolarge" instead, holding its size in decimal, so a view can say it was not kept.
inline constexpr char kHistoryFolderName[] = "History";
// Beside the versions: the charset the server named for the stored copy, when it named one.
inline constexpr char kDeclaredCharsetFile[] = "charset";
// Beside the versions of a filtered document: the whole page the stored copy (the filtered
// portion) was taken from, so a view can still show everything.
inline constexpr char kUnfilteredCopyFile[] = "unfiltered";

struct VersionBounds {
    int32_t count = 10;                 // entries per document; 0 keeps none
    int64_t bytes = int64_t{20} << 20;  // bytes of the kept copies per document
};

struct KeptVersion {
    uint64_t sequence = 0;  // larger is newer
    std::filesystem::path file;
    int64_t bytes = 0;
    std::time_t time = 0;
    bool kept = true;  // false: the copy was larger than the bound, only its size is known
};

std::filesystem::path HistoryRoot(const std::filesystem::path& dataFolder);
std::filesystem::path HistoryFolder(const std::filesystem::path& dataFolder, std::string_view name);

// The entries of `folder`, newest first. One that is still the same file as `storedCopy` was
// linked by a run killed before its new copy went in: it is no earlier version and not listed.
std::vector<KeptVersion> ListVersions(const std::filesystem::path& folder,
                                      const std::filesystem::path& storedCopy);

// Keeps `storedCopy`, which is about to be replaced, as the newest entry of `folder`, then drops
// the oldest entries beyond `bounds`. False when it could not be kept (the caller replaces the
// copy all the same: the current copy matters more than an earlier one).
[[nodiscard]] bool KeepReplacedCopy(const std::filesystem::path& folder,
                                    const std::filesystem::path& storedCopy,
                                    const VersionBounds& bounds);

// Drops the oldest entries beyond `bounds` (after a kill between a keep and its pruning, or
// when the bounds were lowered).
void PruneVersions(const std::filesystem::path& folder, const std::filesystem::path& storedCopy,
                   const VersionBounds& bounds);

// Makes the history folder (and the history root) when it is not there yet.
[[nodiscard]] bool MakeHistoryFolder(const std::filesystem::path& folder);

// Removes a document's history as one step: the folder is first renamed to a ".gone" name in
// the history root, so a crash leaves the whole set or none; RemoveStrayHistory finishes it.
void RemoveHistory(const std::filesystem::path& folder);
// Carries a document's history to its new name (one rename); a stale folder of the new name goes.
void MoveHistory(const std::filesystem::path& from, const std::filesystem::path& to);
// Start of a program that writes: finishes the removals a killed run left under way.
void RemoveStrayHistory(const std::filesystem::path& dataFolder);

}  // namespace wardlet
