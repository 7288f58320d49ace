#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// Web block comparison: compares a body, piece by piece as it arrives, with the stored copy.
// Full equality: a body that is longer or shorter than the stored copy differs.
class StreamComparator {
public:
    // How much of the stored copy must agree: all of it, or (the rule for middle extracts) as
    // many bytes as the body has, so bytes the stored copy has beyond them are not read.
    enum class Extent { Whole, BodyLength };
    // `stored` stays owned by the caller and is read from its current position.
    explicit StreamComparator(FILE* stored, Extent extent = Extent::Whole)
        : stored_(stored), extent_(extent) {}
    void Feed(const char* data, size_t size);
    // Call once the body has ended; true when the body differs from the stored copy.
    bool Finish();
    bool differs() const { return differs_; }

private:
    FILE* stored_;
    Extent extent_;
    bool differs_ = false;
    std::vector<char> piece_;
};

// File block comparison of two open files from their current positions, also for full equality
// (a new copy that was cut short differs). Stops early when `stop` is set.
enum class FileComparison { Equal, Different, ReadError, Stopped };
FileComparison CompareFiles(int newCopy, int storedCopy, const std::atomic<bool>& stop);

// Counts the occurrences of `needle` in a document that arrives in pieces: in its text (zero
// bytes dropped), overlapping ones included; only a needle's length of it is held.
class StringCounter {
public:
    explicit StringCounter(std::string needle);
    void Feed(const char* data, size_t size);
    // So far; an empty needle is found at every position, the end of the text included.
    int64_t count() const;

private:
    std::string needle_;
    std::string window_;  // the carry a match may straddle into, then the piece being searched
    int64_t count_ = 0;
    uint64_t textLength_ = 0;
};

// StringCounter over the whole of `file`. -1 when the file cannot be read.
int64_t CountString(const std::filesystem::path& file, std::string_view needle);

// The document text of `file`: its bytes without zero bytes, held whole (for small texts only).
// nullopt when it cannot be read.
std::optional<std::string> ReadDocumentText(const std::filesystem::path& file);

// The text between the first `start` and the next `end` searched from one byte after the start
// of `start` (so an `end` inside `start` gives an empty extract); nullopt when either is missing.
std::optional<std::string> MiddleExtract(std::string_view text, std::string_view start,
                                         std::string_view end);

// Receives bytes piece by piece; false refuses them.
using ByteSink = std::function<bool(const char* data, size_t size)>;

// MiddleExtract over a text that arrives in pieces: the extract goes to `sink` as soon as no
// end string can begin in it any more, so only a window of the strings' length is held.
class MiddleFinder {
public:
    MiddleFinder(std::string start, std::string end, ByteSink sink);
    // The next piece of the document text; false when the sink refused the extract.
    bool Feed(const char* data, size_t size);
    // The next piece of the document as it arrives: its zero bytes are dropped first.
    bool FeedBody(const char* data, size_t size);
    // True once the end string was found: the whole extract has reached the sink.
    bool found() const { return state_ == State::Found; }

private:
    enum class State { SeekingStart, SeekingEnd, Found };
    bool SeekEnd();
    bool Emit(uint64_t upTo);

    std::string start_, end_;
    ByteSink sink_;
    State state_ = State::SeekingStart;
    uint64_t length_ = 0;  // text seen so far
    std::string window_;   // the text from windowAt_ that a match may still begin in
    uint64_t windowAt_ = 0;
    uint64_t searchFrom_ = 0;  // where the end string is looked for: one after the start's start
    uint64_t extractEnd_ = 0;  // the extract sent so far ends here
    std::string text_;         // FeedBody's piece without its zero bytes
};

}  // namespace wardlet
