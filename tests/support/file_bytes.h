#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>

namespace wardlet::test {

// Whole-file helpers for byte-level assertions; a missing file reads as empty.
std::string ReadBytes(const std::filesystem::path& file);
void WriteBytes(const std::filesystem::path& file, const std::string& bytes);
// The file's permission bits (for example 0600).
unsigned FileMode(const std::filesystem::path& file);
// The inode number of the file itself (not of a link's target); 0 when it is not there.
ino_t InodeOf(const std::filesystem::path& file);
// Every entry of the folder with its inode number: a file replaced or added shows.
std::map<std::string, ino_t> FolderInodes(const std::filesystem::path& folder);

}  // namespace wardlet::test
