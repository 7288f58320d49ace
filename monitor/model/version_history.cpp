#include "monitor/model/version_history.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <optional>
#include <random>
#include <system_error>

#include "common/atomic_file.h"
#include "common/debug_log.h"
#include "common/fd_io.h"

namespace wardlet {
namespace {

constexpr std::string_view kVersionSuffix = ".version";
constexpr std::string_view kTooLargeSuffix = ".toolarge";
// A prefix no document name can have (names never hold a colon): a history being removed.
constexpr std::string_view kGonePrefix = ":gone:";

std::optional<uint64_t> ParseNumber(std::string_view digits) {
    uint64_t value = 0;
    if (digits.empty() || digits.size() > 20) return std::nullopt;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

// An entry of a history folder from its file name: "<sequence>.version" or
// "<sequence>-<bytes>.toolarge"; nullopt for anything else.
std::optional<KeptVersion> ParseEntry(const std::filesystem::path& folder, std::string_view name) {
    KeptVersion entry;
    entry.file = folder / std::string(name);
    if (name.ends_with(kVersionSuffix)) {
        auto sequence = ParseNumber(name.substr(0, name.size() - kVersionSuffix.size()));
        if (!sequence) return std::nullopt;
        entry.sequence = *sequence;
        return entry;
    }
    if (!name.ends_with(kTooLargeSuffix)) return std::nullopt;
    std::string_view stem = name.substr(0, name.size() - kTooLargeSuffix.size());
    size_t dash = stem.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    auto sequence = ParseNumber(stem.substr(0, dash));
    auto bytes = ParseNumber(stem.substr(dash + 1));
    if (!sequence || !bytes) return std::nullopt;
    entry.sequence = *sequence;
    entry.bytes = static_cast<int64_t>(std::min<uint64_t>(*bytes, INT64_MAX));
    entry.kept = false;
    return entry;
}

// Every entry of `folder` with its size and time, newest first, the one that is still the stored
// copy included (`pending` tells which, when there is one).
std::vector<KeptVersion> ReadEntries(const std::filesystem::path& folder,
                                     const std::filesystem::path& storedCopy,
                                     std::optional<KeptVersion>* pending) {
    std::vector<KeptVersion> entries;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return entries;
    while (dirent* item = readdir(dir)) {
        std::optional<KeptVersion> entry = ParseEntry(folder, item->d_name);
        if (!entry) continue;
        struct stat st {};
        if (lstat(entry->file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        entry->time = st.st_mtime;
        if (entry->kept) entry->bytes = st.st_size;
        entries.push_back(std::move(*entry));
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const KeptVersion& a, const KeptVersion& b) { return a.sequence > b.sequence; });
    struct stat copy {};
    if (!entries.empty() && entries.front().kept && lstat(storedCopy.c_str(), &copy) == 0) {
        struct stat newest {};
        if (lstat(entries.front().file.c_str(), &newest) == 0 && newest.st_ino == copy.st_ino &&
            newest.st_dev == copy.st_dev) {
            if (pending) *pending = entries.front();
            entries.erase(entries.begin());
        }
    }
    return entries;
}

bool MakeFolder(const std::filesystem::path& folder) {
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string SequenceName(uint64_t sequence) {
    std::string digits = std::to_string(sequence);
    return std::string(digits.size() < 10 ? 10 - digits.size() : 0, '0') + digits;
}

std::string GoneName() {
    static std::atomic<uint32_t> counter{0};
    std::random_device random;
    return std::string(kGonePrefix) + std::to_string(getpid()) + "-" + std::to_string(random()) +
           "-" + std::to_string(counter++);
}

}  // namespace

bool MakeHistoryFolder(const std::filesystem::path& folder) {
    return MakeFolder(folder.parent_path()) && MakeFolder(folder);
}

std::filesystem::path HistoryRoot(const std::filesystem::path& dataFolder) {
    return dataFolder / kHistoryFolderName;
}

std::filesystem::path HistoryFolder(const std::filesystem::path& dataFolder,
                                    std::string_view name) {
    return HistoryRoot(dataFolder) / std::string(name);
}

std::vector<KeptVersion> ListVersions(const std::filesystem::path& folder,
                                      const std::filesystem::path& storedCopy) {
    return ReadEntries(folder, storedCopy, nullptr);
}

void PruneVersions(const std::filesystem::path& folder, const std::filesystem::path& storedCopy,
                   const VersionBounds& bounds) {
    std::vector<KeptVersion> entries = ReadEntries(folder, storedCopy, nullptr);
    size_t keep = 0;
    int64_t bytes = 0;
    for (const KeptVersion& entry : entries) {
        bytes += entry.kept ? entry.bytes : 0;
        if (keep >= static_cast<size_t>(std::max(bounds.count, 0)) || bytes > bounds.bytes) break;
        ++keep;
    }
    for (size_t i = keep; i < entries.size(); ++i)
        unlink(entries[i].file.c_str());
}

bool KeepReplacedCopy(const std::filesystem::path& folder, const std::filesystem::path& storedCopy,
                      const VersionBounds& bounds) {
    if (bounds.count <= 0) return true;
    struct stat copy {};
    if (lstat(storedCopy.c_str(), &copy) != 0 || !S_ISREG(copy.st_mode)) return true;  // first copy
    if (!MakeHistoryFolder(folder)) {
        DebugLog("cannot make " + folder.string());
        return false;
    }
    std::optional<KeptVersion> pending;
    std::vector<KeptVersion> entries = ReadEntries(folder, storedCopy, &pending);
    if (!pending) {
        uint64_t sequence = entries.empty() ? 1 : entries.front().sequence + 1;
        bool linked = false;
        if (copy.st_size > bounds.bytes) {
            // Only its size is noted: an empty file whose name says it.
            std::string name =
                SequenceName(sequence) + "-" + std::to_string(copy.st_size) + ".toolarge";
            linked = OpenDataFile(folder / name, DataFileMode::CreateNew).valid();
        } else {
            std::filesystem::path file = folder / (SequenceName(sequence) + ".version");
            linked = link(storedCopy.c_str(), file.c_str()) == 0;
        }
        if (!linked) {
            DebugLog("cannot keep " + storedCopy.string() + " in " + folder.string());
            return false;
        }
    }
    // The pruning happens after the new entry, so a kill in between leaves one entry too many,
    // never one too few; the next keep prunes it.
    PruneVersions(folder, std::filesystem::path(), bounds);
    return true;
}

void RemoveHistory(const std::filesystem::path& folder) {
    std::filesystem::path gone = folder.parent_path() / GoneName();
    if (rename(folder.c_str(), gone.c_str()) != 0) {
        if (errno != ENOENT) DebugLog("cannot remove " + folder.string());
        return;
    }
    std::error_code error;
    std::filesystem::remove_all(gone, error);
    rmdir(folder.parent_path().c_str());  // the last history leaves no empty root behind
}

void MoveHistory(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (from == to) return;
    RemoveHistory(to);
    if (rename(from.c_str(), to.c_str()) != 0 && errno != ENOENT)
        DebugLog("cannot move " + from.string() + " to " + to.string());
}

void RemoveStrayHistory(const std::filesystem::path& dataFolder) {
    std::filesystem::path root = HistoryRoot(dataFolder);
    DIR* dir = opendir(root.c_str());
    if (!dir) return;
    std::vector<std::filesystem::path> gone;
    while (dirent* item = readdir(dir))
        if (std::string_view(item->d_name).starts_with(kGonePrefix))
            gone.push_back(root / item->d_name);
    closedir(dir);
    for (const auto& folder : gone) {
        std::error_code error;
        std::filesystem::remove_all(folder, error);
    }
}

}  // namespace wardlet
