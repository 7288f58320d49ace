#include "monitor/changes/change_view.h"

#include <sys/stat.h>

#include <algorithm>

#include "common/fd_io.h"
#include "common/little_endian.h"
#include "common/time_stamp.h"
#include "monitor/model/document_filters.h"
#include "monitor/model/version_history.h"

namespace wardlet {

std::string VersionTimeStamp(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    return FormatTimeStamp(local);
}

int64_t CountInCopy(std::string_view bytes, std::string_view needle) {
    std::string text;
    text.reserve(bytes.size());
    std::copy_if(bytes.begin(), bytes.end(), std::back_inserter(text), [](char c) { return c; });
    if (needle.empty()) return static_cast<int64_t>(text.size()) + 1;
    int64_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

ChangeView::ChangeView(const DocumentStore& store, const DocumentRecord& record) : record_(record) {
    std::string_view name = FieldText(record.name);
    std::filesystem::path content = store.ContentFile(name);
    struct stat st {};
    if (lstat(content.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    versions_.push_back({0, st.st_mtime, st.st_size, true, content});
    std::filesystem::path history = store.HistoryOf(name);
    for (const KeptVersion& kept : ListVersions(history, content))
        versions_.push_back({versions_.size(), kept.time, kept.bytes, kept.kept, kept.file});
    if (std::optional<std::string> charset = ReadDataFile(history / kDeclaredCharsetFile))
        declaredCharset_ = *charset;
    FiltersLoad filters = LoadDocumentFilters(store.FiltersOf(name));
    if (filters.state == FiltersLoad::State::Loaded && !filters.filters.empty()) {
        filtered_ = true;
        plainText_ = filters.filters.textOnly;
        unfiltered_ = history / kUnfilteredCopyFile;
    }
}

TextForm ChangeView::FormOf(bool source) const {
    bool page = TypeOf(record_) == DocumentType::WebPage;
    return page && !source && !plainText_ ? TextForm::Page : TextForm::File;
}

std::optional<DocumentText> ChangeView::UnfilteredText(bool source) const {
    if (!filtered_) return std::nullopt;
    std::optional<std::string> bytes = ReadDataFile(unfiltered_);
    if (!bytes) return std::nullopt;
    // Its server's charset is not kept: the page's own <meta> or its bytes tell it.
    bool page = TypeOf(record_) == DocumentType::WebPage;
    return TextOfCopy(*bytes, page && !source ? TextForm::Page : TextForm::File, "");
}

std::optional<std::string> ChangeView::BytesOf(size_t index) const {
    if (index >= versions_.size() || !versions_[index].kept) return std::nullopt;
    return ReadDataFile(versions_[index].file);
}

std::optional<DocumentText> ChangeView::TextOf(size_t index, bool source) const {
    std::optional<std::string> bytes = BytesOf(index);
    if (!bytes) return std::nullopt;
    return TextOfCopy(*bytes, FormOf(source), declaredCharset_);
}

std::optional<VersionChange> ChangeView::Compare(size_t from, size_t to, bool source) const {
    if (from >= versions_.size() || to >= versions_.size()) return std::nullopt;
    VersionChange change;
    change.fromLabel = VersionTimeStamp(versions_[from].time);
    change.toLabel = VersionTimeStamp(versions_[to].time);
    if (!versions_[from].kept || !versions_[to].kept) {
        change.kind = VersionChange::Kind::NotKept;
        return change;
    }
    std::optional<std::string> oldBytes = BytesOf(from), newBytes = BytesOf(to);
    if (!oldBytes || !newBytes) return std::nullopt;
    if (FlagOn(record_.useCount)) {
        std::string_view needle = FieldText(record_.countString);
        change.oldCount = CountInCopy(*oldBytes, needle);
        change.newCount = CountInCopy(*newBytes, needle);
    }
    auto [oldText, newText] = TextsOfCopies(*oldBytes, *newBytes, FormOf(source), declaredCharset_);
    if (oldText.binary || newText.binary) {
        change.kind = VersionChange::Kind::Binary;
        change.binary = DescribeBinaryChange(*oldBytes, *newBytes);
        return change;
    }
    change.diff = DiffTexts(oldText.text, newText.text);
    return change;
}

}  // namespace wardlet
