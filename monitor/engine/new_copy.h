#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "monitor/engine/change_detection.h"

namespace wardlet {

// The new copy of a document while a check fetches it: a "UVP" temporary file in the data folder.
// Without a stored copy the file is created when the first bytes arrive (so a connection that
// never opens leaves nothing behind). With one, the body is compared with it on the way and no
// file is made while they agree: an unchanged document costs no file at all; at the first
// difference (or a body that ends early) the file starts with the stored copy's bytes so far.
// It becomes the stored copy only by a rename; until then it is removed when the object goes,
// so a broken transfer never leaves a partial copy.
class NewCopy {
public:
    // `stored` (may be null) is the stored copy to compare with; the caller keeps it open.
    NewCopy(std::filesystem::path dataFolder, FILE* stored,
            StreamComparator::Extent extent = StreamComparator::Extent::Whole);
    // `storedFile` is the stored copy to compare with, opened only when the body's first bytes
    // (or its end) come: an answer without a body (a 304) never opens it. One that cannot be
    // opened then counts as none (see compared()).
    NewCopy(std::filesystem::path dataFolder, std::filesystem::path storedFile);
    ~NewCopy();
    NewCopy(const NewCopy&) = delete;
    NewCopy& operator=(const NewCopy&) = delete;

    // False when the temporary file cannot be created or written.
    bool Append(const char* data, size_t size);
    // The body has ended: the file exists (empty for an empty body) and is closed, except when it
    // agreed with the stored copy, which leaves no file.
    bool Finish();
    // With a stored copy: true when the new copy differs from it (valid after Finish).
    bool differs() const { return comparator_ && comparator_->differs(); }
    // Whether the body was compared with a stored copy (valid after Finish).
    bool compared() const { return comparator_.has_value(); }
    const std::filesystem::path& file() const { return file_; }
    // The file was renamed into place and must no longer be removed.
    void Release() { released_ = true; }

private:
    // Opens the stored copy named at construction, once.
    void OpenStoredFile();
    bool Open();
    // Opens the file with the stored copy's first `matched_` bytes, the part that agreed.
    bool StartFromStoredCopy();

    std::filesystem::path dataFolder_;
    FILE* stored_ = nullptr;
    std::filesystem::path storedFile_;  // still to be opened, when not empty
    FILE* ownedStored_ = nullptr;       // opened here, closed with this object
    uint64_t matched_ = 0;
    std::optional<StreamComparator> comparator_;
    std::filesystem::path file_;
    FILE* out_ = nullptr;
    bool failed_ = false;
    bool released_ = false;
};

// Copies the rest of an open file into `copy`, block by block, stopping early when `stop` is set.
enum class CopyResult { Done, ReadFailed, WriteFailed, Stopped };
CopyResult CopyInto(int source, NewCopy& copy, const std::atomic<bool>& stop);

}  // namespace wardlet
