#include "monitor/app/change_view_text.h"

#include <algorithm>

namespace wardlet {
namespace {

PaintedLine NoteLine(std::string text) {
    return {TextRun{std::move(text), RunStyle::Note}};
}

// One diff line: its mark, then the text, the changed words in their stronger style.
PaintedLine LineOf(const DiffLine& line) {
    RunStyle whole = RunStyle::Plain, word = RunStyle::Plain;
    std::string mark = "  ";
    if (line.kind == LineKind::Removed) {
        whole = RunStyle::Removed, word = RunStyle::RemovedWord, mark = "- ";
    } else if (line.kind == LineKind::Added) {
        whole = RunStyle::Added, word = RunStyle::AddedWord, mark = "+ ";
    }
    PaintedLine painted{TextRun{mark, whole}};
    size_t at = 0;
    auto add = [&](size_t end, RunStyle style) {
        end = std::min(end, line.text.size());
        if (end > at) painted.push_back({line.text.substr(at, end - at), style});
        at = std::max(at, end);
    };
    for (const WordSpan& span : line.changed) {
        add(span.begin, whole);
        add(span.end, word);
    }
    add(line.text.size(), whole);
    return painted;
}

std::string Plural(int count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

void PaintText(ChangePicture& picture, const std::string& text) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        picture.lines.push_back({TextRun{text.substr(start, end - start), RunStyle::Plain}});
        start = end + 1;
    }
}

}  // namespace

RunLook LookOf(RunStyle style) {
    switch (style) {
        case RunStyle::Removed:
            return {0xB00020, 0, true, false};
        case RunStyle::RemovedWord:
            return {0xB00020, 0xFFD7D7, true, false};
        case RunStyle::Added:
            return {0x007A1F, 0, false, false};
        case RunStyle::AddedWord:
            return {0x007A1F, 0xCFF5D6, false, false};
        case RunStyle::Note:
            return {0x6E6E6E, 0, false, true};
        case RunStyle::Plain:
            break;
    }
    return {};
}

ChangePicture PaintWholePage(const ChangeView& view, bool source) {
    ChangePicture picture;
    std::optional<DocumentText> text = view.UnfilteredText(source);
    if (!text || text->binary) {
        picture.notice = kWholePageNotKept;
        return picture;
    }
    picture.notice = kWholePageShown;
    PaintText(picture, text->text);
    return picture;
}

ChangePicture PaintChange(const ChangeView& view, size_t chosen, bool source) {
    ChangePicture picture;
    const auto& versions = view.versions();
    if (versions.empty()) {
        picture.notice = kNoStoredCopy;
        return picture;
    }
    if (chosen >= versions.size()) chosen = 0;
    if (!versions[chosen].kept) {
        picture.notice = kVersionNotKept;
        return picture;
    }
    size_t older = chosen + 1;
    if (older >= versions.size()) {
        std::optional<DocumentText> text = view.TextOf(chosen, source);
        if (!text) {
            picture.notice = kCannotRead;
            return picture;
        }
        picture.notice = kNoEarlierVersion;
        if (text->binary)
            picture.lines.push_back(
                NoteLine("Binary data, " + std::to_string(versions[chosen].bytes) + " bytes."));
        else
            PaintText(picture, text->text);
        return picture;
    }
    std::optional<VersionChange> change = view.Compare(older, chosen, source);
    if (!change) {
        picture.notice = kCannotRead;
        return picture;
    }
    switch (change->kind) {
        case VersionChange::Kind::NotKept:
            picture.notice = kEarlierNotKept;
            break;
        case VersionChange::Kind::Binary:
            if (change->binary.firstDifference)
                picture.lines.push_back(
                    NoteLine("Binary copies differ: " + std::to_string(change->binary.oldSize) +
                             " bytes, " + "now " + std::to_string(change->binary.newSize) +
                             " bytes, first difference at byte " +
                             std::to_string(*change->binary.firstDifference) + "."));
            else
                picture.notice = kNoTextChange;
            break;
        case VersionChange::Kind::Text:
            picture.notice = change->diff.same() ? std::string(kNoTextChange)
                                                 : "+" + std::to_string(change->diff.added) + " -" +
                                                       std::to_string(change->diff.removed) +
                                                       " lines since " + change->fromLabel + ".";
            for (const DiffHunk& hunk : change->diff.hunks) {
                if (hunk.foldedBefore > 0)
                    picture.lines.push_back(NoteLine(
                        "\u2026 " + Plural(hunk.foldedBefore, "unchanged line") + " \u2026"));
                picture.lines.push_back(NoteLine("@@ -" + std::to_string(hunk.oldStart) + "," +
                                                 std::to_string(hunk.oldLines) + " +" +
                                                 std::to_string(hunk.newStart) + "," +
                                                 std::to_string(hunk.newLines) + " @@"));
                for (const DiffLine& line : hunk.lines)
                    picture.lines.push_back(LineOf(line));
            }
            break;
    }
    if (change->oldCount && change->newCount)
        picture.lines.push_back(NoteLine("Count: " + std::to_string(*change->oldCount) + " -> " +
                                         std::to_string(*change->newCount)));
    return picture;
}

std::string VersionCaption(const VersionEntry& version) {
    std::string caption =
        VersionTimeStamp(version.time) + "  " + std::to_string(version.bytes) + " bytes";
    if (version.index == 0) caption += "  (stored copy)";
    if (!version.kept) caption += "  (not kept)";
    return caption;
}

}  // namespace wardlet
