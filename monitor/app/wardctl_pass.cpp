#include "monitor/app/wardctl_pass.h"

#include <utility>

#include "common/little_endian.h"

namespace wardlet {
namespace {

std::vector<std::string> UnknownNames(const CWardletDoc& doc, const std::vector<std::string>& names,
                                      std::vector<size_t>& indexes) {
    std::vector<std::string> unknown;
    for (const auto& name : names) {
        size_t index = doc.FindDocument(name);
        if (index == DocumentTable::kNoSlot)
            unknown.push_back(name);
        else
            indexes.push_back(index);
    }
    return unknown;
}

}  // namespace

std::string CheckLine(const DocumentRecord& record) {
    std::string line(FieldText(record.name));
    line += '\t';
    line += StatusText(record.status);
    line += '\t';
    line += LastCheckText(record);
    return line;
}

void WardctlObserver::SetOutput(Sink line, Sink message, Format format) {
    std::lock_guard guard(lock_);
    line_ = std::move(line);
    message_ = std::move(message);
    format_ = format ? std::move(format) : Format(CheckLine);
}

PassSummary WardctlObserver::TakeTally() {
    std::lock_guard guard(lock_);
    return std::exchange(tally_, PassSummary{});
}

void WardctlObserver::ShowMessage(std::string_view text) {
    std::lock_guard guard(lock_);
    if (message_) message_(std::string(text));
}

void WardctlObserver::CheckNote(size_t, std::string_view text) {
    std::lock_guard guard(lock_);
    if (message_) message_(std::string(text));
}

void WardctlObserver::CheckEnded(size_t, const DocumentRecord& record) {
    std::lock_guard guard(lock_);
    ++tally_.checked;
    if (StatusOf(record) == DocumentStatus::Changed) tally_.anyChanged = true;
    if (StatusOf(record) == DocumentStatus::Unavailable) tally_.anyUnavailable = true;
    if (line_) line_(format_(record));
}

PassSummary RunForegroundPass(CWardletDoc& doc, WardctlObserver& observer,
                              const std::vector<std::string>& names,
                              const std::function<bool()>& interrupted) {
    std::vector<size_t> indexes;
    std::vector<std::string> unknown = UnknownNames(doc, names, indexes);
    if (!unknown.empty()) {
        PassSummary summary;
        summary.unknownNames = std::move(unknown);
        return summary;
    }
    (void)observer.TakeTally();
    if (names.empty())
        doc.CheckAll();
    else
        doc.CheckSelected(indexes);
    bool stopped = doc.WaitForChecks(interrupted);
    doc.SaveAllDocumentsAtExit();  // wardctl's last write of the records
    PassSummary summary = observer.TakeTally();
    summary.interrupted = stopped;
    return summary;
}

std::vector<std::string> MarkDocumentsChecked(CWardletDoc& doc,
                                              const std::vector<std::string>& names) {
    std::vector<size_t> indexes;
    std::vector<std::string> unknown = UnknownNames(doc, names, indexes);
    if (!unknown.empty()) return unknown;
    if (names.empty()) {
        const DocumentTable& table = doc.documents();
        for (size_t i = 0; i < table.size(); ++i)
            if (!table.IsFree(i)) indexes.push_back(i);
    }
    doc.MarkChecked(indexes);
    return unknown;
}

}  // namespace wardlet
