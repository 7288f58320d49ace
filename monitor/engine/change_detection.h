#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// Web block comparison: compares a body, piece by piece as it arrives, with the stored copy.
// Full equality: a body that is longer or shorter than the stored copy differs.
class StreamComparator {
public:
    // `stored` stays owned by the caller and is read from its current position.
    explicit StreamComparator(FILE* stored) : stored_(stored) {}
    void Feed(const char* data, size_t size);
    // Call once the body has ended; true when the body differs from the stored copy.
    bool Finish();
    bool differs() const { return differs_; }

private:
    FILE* stored_;
    bool differs_ = false;
    std::vector<char> piece_;
};

// File block comparison of two open files from their current positions, also for full equality
// (a new copy that was cut short differs). Stops early when `stop` is set.
enum class FileComparison { Equal, Different, ReadError, Stopped };
FileComparison CompareFiles(int newCopy, int storedCopy, const std::atomic<bool>& stop);

// Occurrences of `needle` in the document text of `file` (zero bytes dropped), overlapping ones
// included; streamed, so a large file is never held whole. -1 when the file cannot be read.
int64_t CountString(const std::filesystem::path& file, std::string_view needle);

// The document text of `file`: its bytes without zero bytes. nullopt when it cannot be read.
std::optional<std::string> ReadDocumentText(const std::filesystem::path& file);

// The text between the first `start` and the next `end` searched from one byte after the start
// of `start` (so an `end` inside `start` gives an empty extract); nullopt when either is missing.
std::optional<std::string> MiddleExtract(std::string_view text, std::string_view start,
                                         std::string_view end);

// Middle comparison against the stored extract: the extract's bytes against as many bytes of the
// `.middle` file (bytes beyond the extract's length are not read). 1 changed, 0 not changed,
// -1 when the `.middle` file cannot be opened.
int CompareWithStoredExtract(std::string_view extract, const std::filesystem::path& middleFile);

}  // namespace wardlet
