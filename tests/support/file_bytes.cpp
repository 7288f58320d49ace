#include "file_bytes.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace wardlet::test {

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

unsigned FileMode(const std::filesystem::path& file) {
    struct stat st {};
    if (stat(file.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

ino_t InodeOf(const std::filesystem::path& file) {
    struct stat st {};
    return lstat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::map<std::string, ino_t> FolderInodes(const std::filesystem::path& folder) {
    std::map<std::string, ino_t> inodes;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        inodes[entry.path().filename().string()] = InodeOf(entry.path());
    return inodes;
}

}  // namespace wardlet::test
