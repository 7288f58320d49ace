#include "monitor/engine/new_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "common/fd_io.h"
#include "common/temp_file.h"

namespace wardlet {

NewCopy::NewCopy(std::filesystem::path dataFolder, FILE* stored, StreamComparator::Extent extent)
    : dataFolder_(std::move(dataFolder)), stored_(stored) {
    if (stored) comparator_.emplace(stored, extent);
}

NewCopy::NewCopy(std::filesystem::path dataFolder, std::filesystem::path storedFile)
    : dataFolder_(std::move(dataFolder)), storedFile_(std::move(storedFile)) {}

void NewCopy::OpenStoredFile() {
    if (storedFile_.empty()) return;
    ownedStored_ = OpenDataFileForReading(storedFile_);
    storedFile_.clear();
    stored_ = ownedStored_;
    if (stored_) comparator_.emplace(stored_, StreamComparator::Extent::Whole);
}

NewCopy::~NewCopy() {
    if (ownedStored_) fclose(ownedStored_);
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
        UniqueFd fd = OpenDataFile(file_, DataFileMode::Rewrite);
        if (fd.valid() && (out_ = fdopen(fd.get(), "wb"))) fd.Release();
    }
    if (!out_) failed_ = true;
    return out_ != nullptr;
}

bool NewCopy::StartFromStoredCopy() {
    if (!Open()) return false;
    std::vector<char> block(64 * 1024);
    for (uint64_t done = 0; done < matched_;) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(block.size(), matched_ - done));
        // pread leaves the comparator's reading position alone.
        ssize_t n = pread(fileno(stored_), block.data(), want, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || fwrite(block.data(), 1, static_cast<size_t>(n), out_) != size_t(n)) {
            failed_ = true;
            return false;
        }
        done += static_cast<uint64_t>(n);
    }
    return true;
}

bool NewCopy::Append(const char* data, size_t size) {
    OpenStoredFile();
    if (comparator_ && !out_ && !failed_) {
        comparator_->Feed(data, size);
        if (!comparator_->differs()) {
            matched_ += size;
            return true;
        }
        if (!StartFromStoredCopy()) return false;
    }
    if (!Open()) return false;
    if (size > 0 && fwrite(data, 1, size, out_) != size) failed_ = true;
    return !failed_;
}

bool NewCopy::Finish() {
    OpenStoredFile();
    if (comparator_ && !out_ && !failed_) {
        if (!comparator_->Finish()) return true;  // the same bytes: nothing to keep
        // The stored copy goes on where the body ended: the new copy is its first part.
        if (!StartFromStoredCopy()) return false;
    }
    if (!Open()) return false;
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
