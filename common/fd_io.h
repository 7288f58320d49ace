#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace wardlet {

// Owns a file descriptor and closes it when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Hands the descriptor over; this one then owns none.
    int Release();

private:
    int fd_;
};

// A folder held open, so that many of its files are opened without walking its path each time
// (a pass opens every record at its start and again at its end).
class OpenFolder {
public:
    explicit OpenFolder(std::filesystem::path folder);
    // For a file directly inside the folder, the descriptor to open it relative to and its name;
    // for any other (or when the folder could not be opened), AT_FDCWD and the whole path.
    std::pair<int, std::string> Locate(const std::filesystem::path& file) const;

private:
    std::filesystem::path path_;
    UniqueFd fd_;
};
// OpenFolder::Locate of `in`, or AT_FDCWD and the whole path when there is no open folder.
std::pair<int, std::string> LocateFile(const std::filesystem::path& file, const OpenFolder* in);

// How a file of the data folder is opened.
enum class DataFileMode {
    Read,       // an existing file, read only
    Rewrite,    // an existing file, emptied and written
    CreateNew,  // a file that must not exist yet (never an existing one), written
};

// Opens a file of the data folder without following a symbolic link (a link planted there
// cannot make the program read or write a file elsewhere), closed on exec. `permissions` is for
// CreateNew. Not valid when it cannot be opened; errno then tells why. Reading leaves the file's
// access time alone (see OpenWithoutAccessTime).
[[nodiscard]] UniqueFd OpenDataFile(const std::filesystem::path& file, DataFileMode mode,
                                    mode_t permissions = 0600, const OpenFolder* in = nullptr);
// openat(2) with O_NOATIME where the file is the user's own: a record rewritten by every pass is
// newer than its access time, so each read at start would otherwise write its inode again.
int OpenWithoutAccessTime(const std::filesystem::path& file, int flags,
                          const OpenFolder* in = nullptr);

// Opens a file of the data folder for reading ("rb") without following a symbolic link, so a
// link planted there cannot make the program read a file elsewhere. Null when it cannot.
FILE* OpenDataFileForReading(const std::filesystem::path& file);

// Opens a file the user named (a local document) for reading, its links followed as the user
// expects. Only a regular file is taken: a pipe or a device could block a read or never end, and
// the open itself does not wait for a pipe's writer. Not valid otherwise.
[[nodiscard]] UniqueFd OpenRegularFileForReading(const std::filesystem::path& file);

// The whole content of a file of the data folder, read without following a symbolic link;
// nullopt when it cannot be opened or read.
std::optional<std::string> ReadDataFile(const std::filesystem::path& file);
// Whether a file of the data folder holds exactly `bytes`, read a block at a time (no second copy
// of a large file); nullopt when it cannot be opened or read.
std::optional<bool> DataFileHolds(const std::filesystem::path& file, std::string_view bytes);
// ReadDataFile for a file the user or the system names (a certificate bundle, often a link).
std::optional<std::string> ReadSystemFile(const std::filesystem::path& file);

// Reads up to `size` bytes, going on after short reads, so less means the end of the file.
// -1 on a read error.
ssize_t ReadFull(int fd, char* buffer, size_t size);

// Writes all of `bytes` to the descriptor, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace wardlet
