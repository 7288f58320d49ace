#include "monitor/engine/change_detection.h"

#include <fcntl.h>
#include <unistd.h>

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
    if (!differs_ && fgetc(stored_) != EOF) differs_ = true;
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

int64_t CountString(const std::filesystem::path& file, std::string_view needle) {
    UniqueFd in(open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return -1;
    constexpr size_t kBlock = 1 << 20;
    // A match may straddle two blocks: keep the last needle-length-minus-one bytes in front of
    // the next block. No match fits inside that carry alone, so none is counted twice.
    size_t carryMax = needle.empty() ? 0 : needle.size() - 1;
    std::vector<char> buffer(carryMax + kBlock);
    size_t carry = 0;
    int64_t count = 0;
    uint64_t textLength = 0;
    for (;;) {
        ssize_t n = ReadFull(in.get(), buffer.data() + carry, kBlock);
        if (n < 0) return -1;
        if (n == 0) break;
        size_t fresh = DropZeroBytes(buffer.data() + carry, static_cast<size_t>(n));
        textLength += fresh;
        size_t length = carry + fresh;
        if (!needle.empty()) {
            const char* at = buffer.data();
            const char* end = buffer.data() + length;
            while (static_cast<size_t>(end - at) >= needle.size()) {
                auto* hit = static_cast<const char*>(
                    memmem(at, static_cast<size_t>(end - at), needle.data(), needle.size()));
                if (!hit) break;
                ++count;
                at = hit + 1;
            }
        }
        carry = length < carryMax ? length : carryMax;
        memmove(buffer.data(), buffer.data() + length - carry, carry);
    }
    // An empty string is found at every position, the end of the text included.
    if (needle.empty()) count = static_cast<int64_t>(textLength) + 1;
    return count;
}

std::optional<std::string> ReadDocumentText(const std::filesystem::path& file) {
    UniqueFd in(open(file.c_str(), O_RDONLY | O_CLOEXEC));
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

int CompareWithStoredExtract(std::string_view extract, const std::filesystem::path& middleFile) {
    UniqueFd in(open(middleFile.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) return -1;
    std::string stored(extract.size(), '\0');
    ssize_t n = ReadFull(in.get(), stored.data(), stored.size());
    if (n < 0 || static_cast<size_t>(n) != extract.size()) return 1;
    return stored == extract ? 0 : 1;
}

}  // namespace wardlet
