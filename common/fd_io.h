#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wardlet {

// Owns a file descriptor and closes it when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Opens a file of the data folder for reading ("rb") without following a symbolic link, so a
// link planted there cannot make the program read a file elsewhere. Null when it cannot.
FILE* OpenDataFileForReading(const std::filesystem::path& file);

// The whole content of a file of the data folder, read without following a symbolic link;
// nullopt when it cannot be opened or read.
std::optional<std::string> ReadDataFile(const std::filesystem::path& file);
// The same for a file the user or the system names (a certificate bundle, often a link).
std::optional<std::string> ReadSystemFile(const std::filesystem::path& file);

// Reads up to `size` bytes, going on after short reads, so less means the end of the file.
// -1 on a read error.
ssize_t ReadFull(int fd, char* buffer, size_t size);

// Writes all of `bytes` to the descriptor, going on after short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes);

}  // namespace wardlet
