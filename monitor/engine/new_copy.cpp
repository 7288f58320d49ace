#include "monitor/engine/new_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/temp_file.h"

namespace wardlet {

NewCopy::NewCopy(std::filesystem::path dataFolder, FILE* stored)
    : dataFolder_(std::move(dataFolder)) {
    if (stored) comparator_.emplace(stored);
}

NewCopy::~NewCopy() {
    if (out_) fclose(out_);
    if (!file_.empty() && !released_) unlink(file_.c_str());
}

bool NewCopy::Open() {
    if (out_) return true;
    if (failed_) return false;
    auto temp = CreateTempFile(dataFolder_);
    if (temp) {
        file_ = *temp;
        // Made by this check a moment ago; a link put in its place is not written through.
        int fd = open(file_.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && !(out_ = fdopen(fd, "wb"))) close(fd);
    }
    if (!out_) failed_ = true;
    return out_ != nullptr;
}

bool NewCopy::Append(const char* data, size_t size) {
    if (!Open()) return false;
    if (comparator_) comparator_->Feed(data, size);
    if (size > 0 && fwrite(data, 1, size, out_) != size) failed_ = true;
    return !failed_;
}

bool NewCopy::Finish() {
    if (!Open()) return false;
    if (comparator_) comparator_->Finish();
    bool ok = fclose(out_) == 0 && !failed_;
    out_ = nullptr;
    failed_ = failed_ || !ok;
    return ok;
}

CopyResult CopyInto(int source, NewCopy& copy, const std::atomic<bool>& stop) {
    std::vector<char> block(64 * 1024);
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) return CopyResult::Stopped;
        ssize_t n = read(source, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return CopyResult::ReadFailed;
        if (n == 0) return copy.Finish() ? CopyResult::Done : CopyResult::WriteFailed;
        if (!copy.Append(block.data(), static_cast<size_t>(n))) return CopyResult::WriteFailed;
    }
}

}  // namespace wardlet
