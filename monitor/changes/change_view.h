#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "monitor/changes/document_text.h"
#include "monitor/changes/text_diff.h"
#include "monitor/model/document_record.h"
#include "monitor/model/document_store.h"

namespace wardlet {

// One copy of a document as a view lists it: index 0 is the stored copy, 1 the newest kept
// version, and so on to the oldest.
struct VersionEntry {
    size_t index = 0;
    std::time_t time = 0;
    int64_t bytes = 0;
    bool kept = true;  // false: an earlier copy too large to keep, only its size is known
    std::filesystem::path file;
};

// What changed between two copies: a text diff, or for binary copies their sizes and first
// differing offset; with the count method, the counts of both.
struct VersionChange {
    enum class Kind { Text, Binary, NotKept };
    Kind kind = Kind::Text;
    std::string fromLabel, toLabel;  // the copies' time stamps
    TextDiff diff;
    BinaryChange binary;
    std::optional<int64_t> oldCount, newCount;
    bool same() const {
        return kind == Kind::Text ? diff.same() : kind == Kind::Binary && !binary.firstDifference;
    }
};

// The change view of one document without a display: its versions and the change between any
// two, which a window paints and wardctl and the mail print. Reads the files when asked.
class ChangeView {
public:
    ChangeView(const DocumentStore& store, const DocumentRecord& record);

    // Newest first; empty when the document has no stored copy.
    const std::vector<VersionEntry>& versions() const { return versions_; }
    // The text of a copy (`source`: its bytes as text, not a page's reading); nullopt when the
    // copy cannot be read or was not kept.
    std::optional<DocumentText> TextOf(size_t index, bool source) const;
    // The change from the copy `from` to the newer copy `to` (a smaller index); nullopt when
    // either index is not listed or a copy cannot be read.
    std::optional<VersionChange> Compare(size_t from, size_t to, bool source) const;

    // With filters, the stored copy and the kept versions hold the compared portion; the whole
    // page the stored copy was taken from is kept beside them.
    bool filtered() const { return filtered_; }
    // The text of that whole page (`source`: its bytes as text); nullopt without filters or
    // when it was not kept.
    std::optional<DocumentText> UnfilteredText(bool source) const;

private:
    TextForm FormOf(bool source) const;

    std::optional<std::string> BytesOf(size_t index) const;

    DocumentRecord record_;
    std::string declaredCharset_;
    std::vector<VersionEntry> versions_;
    bool filtered_ = false;
    bool plainText_ = false;  // the portions are a page's text already ("text only")
    std::filesystem::path unfiltered_;
};

// A version's time as the last-check column shows times: "YYYY/MM/DD [hh:mm:ss]" local.
std::string VersionTimeStamp(std::time_t time);

// Occurrences of `needle` in `bytes` with zero bytes dropped, overlapping ones included, as the
// count method counts.
int64_t CountInCopy(std::string_view bytes, std::string_view needle);

}  // namespace wardlet
