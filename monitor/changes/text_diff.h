#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// A line diff of two texts, as a view paints it: hunks of changed lines with their context,
// the unchanged stretches between hunks folded, and in a changed line the words that changed.
enum class LineKind { Context, Removed, Added };

// Bytes [begin, end) of a line's text that the other side of its pair does not have.
struct WordSpan {
    size_t begin = 0;
    size_t end = 0;
    bool operator==(const WordSpan&) const = default;
};

struct DiffLine {
    LineKind kind = LineKind::Context;
    int oldNumber = -1;             // 1-based; -1 for an added line
    int newNumber = -1;             // 1-based; -1 for a removed line
    std::string text;               // without its line end
    std::vector<WordSpan> changed;  // only in a removed or added line paired with another
};

struct DiffHunk {
    int oldStart = 0, oldLines = 0, newStart = 0, newLines = 0;  // as in "@@ -a,b +c,d @@"
    int foldedBefore = 0;  // unchanged lines left out between the previous hunk and this one
    std::vector<DiffLine> lines;
};

struct TextDiff {
    std::vector<DiffHunk> hunks;
    size_t added = 0, removed = 0;
    bool same() const { return hunks.empty(); }
};

inline constexpr int kContextLines = 3;

// libgit2's patience diff of the lines of `oldText` and `newText` (LF line ends), with
// `context` lines around each change; the words of a changed line pair are diffed the same way.
TextDiff DiffTexts(std::string_view oldText, std::string_view newText, int context = kContextLines);

// The diff as "diff -u" prints it: "--- from", "+++ to", "@@" hunks and " ", "-", "+" lines.
// With `color`, hunk lines cyan, removed red and added green, changed words in reverse video.
std::string FormatUnifiedDiff(const TextDiff& diff, std::string_view fromLabel,
                              std::string_view toLabel, bool color);

// The first changed lines of the diff for a notification: "-" and "+" marked, LF line ends, at
// most `maxLines` lines and `maxBytes` bytes, then "… N more lines" for those left out.
// Empty when nothing changed.
std::string FirstChangedLines(const TextDiff& diff, size_t maxLines = 20, size_t maxBytes = 2048);

}  // namespace wardlet
