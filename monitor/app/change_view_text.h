#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "monitor/changes/change_view.h"

namespace wardlet {

// How a run of the change view is painted; the window only maps these to character formats.
enum class RunStyle {
    Plain,        // unchanged text, or the text of a copy shown whole
    Removed,      // a removed line: red, struck through
    RemovedWord,  // the words that went from a changed line: red, struck through, shaded
    Added,        // an added line: green
    AddedWord,    // the words that came into a changed line: green, shaded
    Note,         // hunk headers and folding notes: grey, italic
};

struct RunLook {
    uint32_t color = 0;       // 0xRRGGBB
    uint32_t background = 0;  // 0xRRGGBB; 0 for none
    bool strike = false;
    bool italic = false;
};
RunLook LookOf(RunStyle style);

struct TextRun {
    std::string text;  // UTF-8
    RunStyle style = RunStyle::Plain;
};
using PaintedLine = std::vector<TextRun>;

// What the view shows for one chosen version: a notice above the text (empty for none) and the
// lines to paint.
struct ChangePicture {
    std::string notice;
    std::vector<PaintedLine> lines;
};

inline constexpr char kNoStoredCopy[] = "This document has no stored copy yet.";
inline constexpr char kNoEarlierVersion[] =
    "No earlier version of this document is kept yet: its text is shown as it is.";
inline constexpr char kVersionNotKept[] =
    "This version was not kept: it was larger than the bound for kept versions.";
inline constexpr char kEarlierNotKept[] =
    "The version before this one was not kept: it was larger than the bound for kept versions.";
inline constexpr char kCannotRead[] = "A version of this document cannot be read.";
inline constexpr char kNoTextChange[] = "The text did not change between these versions.";

inline constexpr char kWholePageShown[] =
    "The whole page the stored copy was taken from; its filters compare only a part of it.";
inline constexpr char kWholePageNotKept[] = "The whole page of the stored copy is not kept.";

// The change from the version before `chosen` (the next older one) to `chosen`, or the text of
// `chosen` when no older one is kept. `source`: the bytes as text rather than a page's reading.
ChangePicture PaintChange(const ChangeView& view, size_t chosen, bool source);

// A filtered document's whole page, as the stored copy was taken from it.
ChangePicture PaintWholePage(const ChangeView& view, bool source);

// A version's line in the list: its time, its size and what it is.
std::string VersionCaption(const VersionEntry& version);

}  // namespace wardlet
