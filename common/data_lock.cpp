#include "common/data_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wardlet {

DataFolderLock::~DataFolderLock() {
    Release();
}

bool DataFolderLock::TryAcquire(const std::filesystem::path& dataFolder) {
    Release();
    auto file = dataFolder / "Wardlet.lock";
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error_ = "Cannot open the lock file " + file.string() + ": " + strerror(errno);
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error_ = errno == EWOULDBLOCK
                     ? "The Wardlet data folder " + dataFolder.string() +
                           " is in use by another Wardlet program. Close it and try again."
                     : "Cannot lock " + file.string() + ": " + strerror(errno);
        close(fd);
        return false;
    }
    fd_ = fd;
    error_.clear();
    return true;
}

void DataFolderLock::Release() {
    if (fd_ >= 0) {
        close(fd_);  // closing drops the flock
        fd_ = -1;
    }
}

}  // namespace wardlet
