#include "monitor/changes/text_diff.h"

#include <git2.h>

#include <mutex>
#include <stdexcept>

namespace wardlet {
namespace {

// Longer lines are still diffed, but only line by line: their words would cost more than they show.
constexpr size_t kLongestWordDiffedLine = 8192;

void InitLibgit2() {
    static std::once_flag once;
    std::call_once(once, [] { git_libgit2_init(); });
}

struct Collect {
    TextDiff diff;
    int lastOldEnd = 1;  // first old line after the previous hunk
};

int OnHunk(const git_diff_delta*, const git_diff_hunk* hunk, void* payload) {
    auto* collect = static_cast<Collect*>(payload);
    DiffHunk h;
    h.oldStart = hunk->old_start;
    h.oldLines = hunk->old_lines;
    h.newStart = hunk->new_start;
    h.newLines = hunk->new_lines;
    // An empty old side starts "at line 0"; its first line is line 1 all the same.
    int firstOld = hunk->old_lines == 0 ? hunk->old_start + 1 : hunk->old_start;
    h.foldedBefore = std::max(0, firstOld - collect->lastOldEnd);
    collect->lastOldEnd = firstOld + hunk->old_lines;
    collect->diff.hunks.push_back(std::move(h));
    return 0;
}

int OnLine(const git_diff_delta*, const git_diff_hunk*, const git_diff_line* line, void* payload) {
    auto* collect = static_cast<Collect*>(payload);
    if (collect->diff.hunks.empty()) return 0;
    DiffLine out;
    switch (line->origin) {
        case GIT_DIFF_LINE_CONTEXT:
            out.kind = LineKind::Context;
            break;
        case GIT_DIFF_LINE_DELETION:
            out.kind = LineKind::Removed;
            ++collect->diff.removed;
            break;
        case GIT_DIFF_LINE_ADDITION:
            out.kind = LineKind::Added;
            ++collect->diff.added;
            break;
        default:
            return 0;  // "no newline at end of file" notes
    }
    out.oldNumber = line->old_lineno;
    out.newNumber = line->new_lineno;
    out.text.assign(line->content, line->content_len);
    if (!out.text.empty() && out.text.back() == '\n') out.text.pop_back();
    collect->diff.hunks.back().lines.push_back(std::move(out));
    return 0;
}

TextDiff RunDiff(std::string_view oldText, std::string_view newText, int context) {
    InitLibgit2();
    git_diff_options options;
    git_diff_options_init(&options, GIT_DIFF_OPTIONS_VERSION);
    options.flags = GIT_DIFF_PATIENCE | GIT_DIFF_FORCE_TEXT;
    options.context_lines = static_cast<uint32_t>(context);
    options.interhunk_lines = 0;
    Collect collect;
    int error =
        git_diff_buffers(oldText.data(), oldText.size(), nullptr, newText.data(), newText.size(),
                         nullptr, &options, nullptr, nullptr, OnHunk, OnLine, &collect);
    if (error < 0) {
        const git_error* e = git_error_last();
        throw std::runtime_error(std::string("diff failed: ") + (e ? e->message : "unknown"));
    }
    return std::move(collect.diff);
}

bool IsWordByte(unsigned char c) {
    return c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z') || c == '_';
}

// A line cut into words, runs of spaces and single other characters, one token a line, so the
// line diff of two such texts is a word diff.
struct Tokens {
    std::string joined;
    std::vector<WordSpan> spans;
};

Tokens Tokenize(std::string_view line) {
    Tokens tokens;
    for (size_t at = 0; at < line.size();) {
        size_t end = at + 1;
        auto c = static_cast<unsigned char>(line[at]);
        if (IsWordByte(c)) {
            while (end < line.size() && IsWordByte(static_cast<unsigned char>(line[end])))
                ++end;
        } else if (c == ' ' || c == '\t') {
            while (end < line.size() && (line[end] == ' ' || line[end] == '\t'))
                ++end;
        }
        tokens.spans.push_back({at, end});
        tokens.joined.append(line.substr(at, end - at));
        tokens.joined += '\n';
        at = end;
    }
    return tokens;
}

// Joins touching spans, so a changed phrase is one span.
void AddSpan(std::vector<WordSpan>& spans, WordSpan span) {
    if (!spans.empty() && spans.back().end == span.begin) {
        spans.back().end = span.end;
        return;
    }
    spans.push_back(span);
}

void DiffWords(DiffLine& removed, DiffLine& added) {
    if (removed.text.size() > kLongestWordDiffedLine || added.text.size() > kLongestWordDiffedLine)
        return;
    Tokens before = Tokenize(removed.text);
    Tokens after = Tokenize(added.text);
    TextDiff words = RunDiff(before.joined, after.joined, 0);
    for (const DiffHunk& hunk : words.hunks)
        for (const DiffLine& word : hunk.lines) {
            if (word.kind == LineKind::Removed)
                AddSpan(removed.changed, before.spans[static_cast<size_t>(word.oldNumber - 1)]);
            else if (word.kind == LineKind::Added)
                AddSpan(added.changed, after.spans[static_cast<size_t>(word.newNumber - 1)]);
        }
}

// In each run of removed lines followed by added ones, the n-th removed line and the n-th added
// line are taken as one line changed.
void PairChangedLines(DiffHunk& hunk) {
    std::vector<DiffLine>& lines = hunk.lines;
    for (size_t at = 0; at < lines.size();) {
        size_t removedEnd = at;
        while (removedEnd < lines.size() && lines[removedEnd].kind == LineKind::Removed)
            ++removedEnd;
        size_t addedEnd = removedEnd;
        while (addedEnd < lines.size() && lines[addedEnd].kind == LineKind::Added)
            ++addedEnd;
        size_t pairs = std::min(removedEnd - at, addedEnd - removedEnd);
        for (size_t i = 0; i < pairs; ++i)
            DiffWords(lines[at + i], lines[removedEnd + i]);
        at = addedEnd > at ? addedEnd : at + 1;
    }
}

void AppendRange(std::string& out, int start, int count) {
    out += std::to_string(start);
    if (count != 1) out += "," + std::to_string(count);
}

void AppendLine(std::string& out, const DiffLine& line, bool color) {
    char mark = line.kind == LineKind::Removed ? '-' : line.kind == LineKind::Added ? '+' : ' ';
    if (!color || line.kind == LineKind::Context) {
        out += mark;
        out += line.text;
        out += '\n';
        return;
    }
    const char* tint = line.kind == LineKind::Removed ? "\x1b[31m" : "\x1b[32m";
    out += tint;
    out += mark;
    size_t at = 0;
    for (const WordSpan& span : line.changed) {
        out.append(line.text, at, span.begin - at);
        out += "\x1b[7m";
        out.append(line.text, span.begin, span.end - span.begin);
        out += "\x1b[27m";
        at = span.end;
    }
    out.append(line.text, at);
    out += "\x1b[0m\n";
}

}  // namespace

TextDiff DiffTexts(std::string_view oldText, std::string_view newText, int context) {
    TextDiff diff = RunDiff(oldText, newText, context);
    for (DiffHunk& hunk : diff.hunks)
        PairChangedLines(hunk);
    return diff;
}

std::string FirstChangedLines(const TextDiff& diff, size_t maxLines, size_t maxBytes) {
    std::string out;
    size_t shown = 0, total = diff.added + diff.removed;
    bool room = true;
    for (const DiffHunk& hunk : diff.hunks)
        for (const DiffLine& line : hunk.lines) {
            if (line.kind == LineKind::Context || !room) continue;
            std::string text = (line.kind == LineKind::Removed ? "-" : "+") + line.text + "\n";
            if (shown >= maxLines || out.size() + text.size() > maxBytes) {
                room = false;
                continue;
            }
            out += text;
            ++shown;
        }
    if (shown < total) {
        size_t more = total - shown;
        out += "\u2026 " + std::to_string(more) + (more == 1 ? " more line\n" : " more lines\n");
    }
    return out;
}

std::string FormatUnifiedDiff(const TextDiff& diff, std::string_view fromLabel,
                              std::string_view toLabel, bool color) {
    std::string out;
    const char* bold = color ? "\x1b[1m" : "";
    const char* plain = color ? "\x1b[0m" : "";
    out += bold + std::string("--- ") + std::string(fromLabel) + plain + "\n";
    out += bold + std::string("+++ ") + std::string(toLabel) + plain + "\n";
    for (const DiffHunk& hunk : diff.hunks) {
        out += color ? "\x1b[36m@@ -" : "@@ -";
        AppendRange(out, hunk.oldStart, hunk.oldLines);
        out += " +";
        AppendRange(out, hunk.newStart, hunk.newLines);
        out += color ? " @@\x1b[0m\n" : " @@\n";
        for (const DiffLine& line : hunk.lines)
            AppendLine(out, line, color);
    }
    return out;
}

}  // namespace wardlet
