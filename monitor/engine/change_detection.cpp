#include "monitor/engine/change_detection.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "common/fd_io.h"

namespace wardlet {
namespace {

// Removes zero bytes in place, as reading the document text does; returns the new length.
size_t DropZeroBytes(char* data, size_t size) {
    char* zero = static_cast<char*>(memchr(data, '\0', size));
    if (!zero) return size;
    char* out = zero;
    for (char* in = zero; in < data + size; ++in)
        if (*in != '\0') *out++ = *in;
    return static_cast<size_t>(out - data);
}

}  // namespace

void StreamComparator::Feed(const char* data, size_t size) {
    if (differs_ || size == 0) return;
    piece_.resize(size);
    size_t got = fread(piece_.data(), 1, size, stored_);
    if (got != size || memcmp(piece_.data(), data, size) != 0) differs_ = true;
}

bool StreamComparator::Finish() {
    // The stored copy must end where the body ended.
    if (!differs_ && extent_ == Extent::Whole && fgetc(stored_) != EOF) differs_ = true;
    return differs_;
}

FileComparison CompareFiles(int newCopy, int storedCopy, const std::atomic<bool>& stop) {
    constexpr size_t kBlock = 64 * 1024;
    std::vector<char> fresh(kBlock), stored(kBlock);
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) return FileComparison::Stopped;
        ssize_t n = ReadFull(newCopy, fresh.data(), kBlock);
        ssize_t m = ReadFull(storedCopy, stored.data(), kBlock);
        if (n < 0 || m < 0) return FileComparison::ReadError;
        if (n != m || memcmp(fresh.data(), stored.data(), static_cast<size_t>(n)) != 0)
            return FileComparison::Different;
        if (n == 0) return FileComparison::Equal;
    }
}

StringCounter::StringCounter(std::string needle) : needle_(std::move(needle)) {}

void StringCounter::Feed(const char* data, size_t size) {
    // A match may straddle two pieces: the last needle-length-minus-one bytes of the text stay in
    // front of the next piece. No match fits inside that carry alone, so none is counted twice.
    size_t carry = window_.size();
    window_.append(data, size);
    size_t fresh = DropZeroBytes(window_.data() + carry, size);
    window_.resize(carry + fresh);
    textLength_ += fresh;
    if (needle_.empty()) {
        window_.clear();
        return;
    }
    const char* at = window_.data();
    const char* end = window_.data() + window_.size();
    while (static_cast<size_t>(end - at) >= needle_.size()) {
        auto* hit = static_cast<const char*>(
            memmem(at, static_cast<size_t>(end - at), needle_.data(), needle_.size()));
        if (!hit) break;
        ++count_;
        at = hit + 1;
    }
    size_t keep = std::min(window_.size(), needle_.size() - 1);
    window_.erase(0, window_.size() - keep);
}

int64_t StringCounter::count() const {
    return needle_.empty() ? static_cast<int64_t>(textLength_) + 1 : count_;
}

int64_t CountString(const std::filesystem::path& file, std::string_view needle) {
    UniqueFd in = OpenDataFile(file, DataFileMode::Read);
    if (in.get() < 0) return -1;
    StringCounter counter{std::string(needle)};
    std::vector<char> block(1 << 20);
    for (;;) {
        ssize_t n = ReadFull(in.get(), block.data(), block.size());
        if (n < 0) return -1;
        if (n == 0) return counter.count();
        counter.Feed(block.data(), static_cast<size_t>(n));
    }
}

std::optional<std::string> ReadDocumentText(const std::filesystem::path& file) {
    UniqueFd in = OpenDataFile(file, DataFileMode::Read);
    if (in.get() < 0) return std::nullopt;
    std::string text;
    char block[64 * 1024];
    for (;;) {
        ssize_t n = ReadFull(in.get(), block, sizeof block);
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        text.append(block, DropZeroBytes(block, static_cast<size_t>(n)));
    }
    return text;
}

std::optional<std::string> MiddleExtract(std::string_view text, std::string_view start,
                                         std::string_view end) {
    size_t i = text.find(start);
    if (i == std::string_view::npos) return std::nullopt;
    size_t e = text.find(end, i + 1);
    if (e == std::string_view::npos) return std::nullopt;
    size_t from = i + start.size();
    if (e <= from) return std::string();
    return std::string(text.substr(from, e - from));
}

MiddleFinder::MiddleFinder(std::string start, std::string end, ByteSink sink)
    : start_(std::move(start)), end_(std::move(end)), sink_(std::move(sink)) {
    // An empty start string is found at once, at position 0.
    if (start_.empty()) {
        state_ = State::SeekingEnd;
        searchFrom_ = 1;
    }
}

bool MiddleFinder::FeedBody(const char* data, size_t size) {
    if (state_ == State::Found) return true;
    text_.assign(data, size);
    text_.resize(DropZeroBytes(text_.data(), size));
    return Feed(text_.data(), text_.size());
}

bool MiddleFinder::Feed(const char* data, size_t size) {
    if (state_ == State::Found) return true;
    window_.append(data, size);
    length_ += size;
    if (state_ == State::SeekingStart) {
        size_t at = window_.find(start_);
        if (at == std::string::npos) {
            // Only the last length-1 bytes can still begin a match.
            size_t keep = std::min(window_.size(), start_.size() - 1);
            windowAt_ += window_.size() - keep;
            window_.erase(0, window_.size() - keep);
            return true;
        }
        uint64_t found = windowAt_ + at;
        searchFrom_ = found + 1;
        extractEnd_ = found + start_.size();
        window_.erase(0, at + 1);
        windowAt_ = searchFrom_;
        state_ = State::SeekingEnd;
    }
    return SeekEnd();
}

bool MiddleFinder::SeekEnd() {
    if (searchFrom_ > length_) return true;  // only an empty start with no text yet
    uint64_t endAt = 0;
    bool hit = false;
    if (end_.empty()) {
        endAt = searchFrom_;
        hit = true;
    } else {
        size_t at = window_.find(end_, static_cast<size_t>(searchFrom_ - windowAt_));
        if (at != std::string::npos) {
            endAt = windowAt_ + at;
            hit = true;
        }
    }
    if (hit) {
        state_ = State::Found;
        bool ok = Emit(endAt);
        window_.clear();
        return ok;
    }
    // No end string can begin before `settled` any more: that much of the extract is final.
    uint64_t settled = length_ - std::min<uint64_t>(length_, end_.size() - 1);
    if (!Emit(settled)) return false;
    searchFrom_ = std::max(searchFrom_, settled);
    uint64_t keepFrom = std::min(searchFrom_, std::max(extractEnd_, windowAt_));
    window_.erase(0, static_cast<size_t>(keepFrom - windowAt_));
    windowAt_ = keepFrom;
    return true;
}

bool MiddleFinder::Emit(uint64_t upTo) {
    if (upTo <= extractEnd_) return true;
    const char* from = window_.data() + (extractEnd_ - windowAt_);
    size_t size = static_cast<size_t>(upTo - extractEnd_);
    extractEnd_ = upTo;
    return sink_(from, size);
}

}  // namespace wardlet
