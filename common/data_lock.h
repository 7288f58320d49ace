#pragma once

#include <filesystem>
#include <string>

namespace wardlet {

// The per-user lock on the data folder. The monitor holds it for its whole run; wardctl takes it
// for every command that writes, so the two never rewrite the same files at once. It is an
// advisory lock on "Wardlet.lock" in the data folder and goes away with the process that held it.
class DataFolderLock {
public:
    DataFolderLock() = default;
    ~DataFolderLock();
    DataFolderLock(const DataFolderLock&) = delete;
    DataFolderLock& operator=(const DataFolderLock&) = delete;

    // Takes the lock without waiting. False when another process holds it or the lock file
    // cannot be opened; error() then says which.
    bool TryAcquire(const std::filesystem::path& dataFolder);
    void Release();
    bool held() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }

private:
    int fd_ = -1;
    std::string error_;
};

}  // namespace wardlet
