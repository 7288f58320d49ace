#include "monitor/engine/foreground_pass.h"

#include <chrono>
#include <mutex>

#include "common/little_endian.h"
#include "monitor/engine/check_engine.h"

namespace wardlet {
namespace {

// Passes every call on and tallies the outcomes for the exit status.
class TallyingObserver : public CheckObserver {
public:
    TallyingObserver(CheckObserver& inner, PassSummary& summary)
        : inner_(inner), summary_(summary) {}
    void RefreshRow(size_t index) override { inner_.RefreshRow(index); }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        return inner_.FindRowOfRecord(index);
    }
    void SelectRowOfRecord(size_t index) override { inner_.SelectRowOfRecord(index); }
    void PlaySound(NotifyKind kind) override { inner_.PlaySound(kind); }
    void TrayAlert(size_t index, NotifyKind kind) override { inner_.TrayAlert(index, kind); }
    void ShowMessage(std::string_view text) override { inner_.ShowMessage(text); }
    void OpenDocument(size_t row) override { inner_.OpenDocument(row); }
    void CheckEnded(size_t index, const DocumentRecord& record) override {
        {
            std::lock_guard guard(lock_);
            ++summary_.checked;
            if (record.status == static_cast<int32_t>(DocumentStatus::Changed))
                summary_.anyChanged = true;
            if (record.status == static_cast<int32_t>(DocumentStatus::Unavailable))
                summary_.anyUnavailable = true;
        }
        inner_.CheckEnded(index, record);
    }

private:
    CheckObserver& inner_;
    PassSummary& summary_;
    std::mutex lock_;
};

std::vector<std::string> UnknownNames(const DocumentStore& store,
                                      const std::vector<std::string>& names,
                                      std::vector<size_t>& indexes) {
    std::vector<std::string> unknown;
    for (const auto& name : names) {
        size_t index = store.FindRecordByName(name);
        if (index == DocumentTable::kNoSlot)
            unknown.push_back(name);
        else
            indexes.push_back(index);
    }
    return unknown;
}

}  // namespace

HeadlessCheckObserver::HeadlessCheckObserver(HeadlessDocumentList& list,
                                             std::function<void(const std::string&)> line,
                                             std::function<void(std::string_view)> message)
    : list_(list), line_(std::move(line)), message_(std::move(message)) {}

void HeadlessCheckObserver::ShowMessage(std::string_view text) {
    if (message_) message_(text);
}

void HeadlessCheckObserver::CheckEnded(size_t, const DocumentRecord& record) {
    if (line_) line_(CheckLine(record));
}

std::string CheckLine(const DocumentRecord& record) {
    std::string_view lastCheck = FieldText(record.lastCheck);
    std::string line(FieldText(record.name));
    line += '\t';
    line += StatusText(record.status);
    line += '\t';
    line += lastCheck.empty() ? std::string_view("?") : lastCheck;
    return line;
}

PassSummary RunForegroundPass(DocumentStore& store, EngineSettings& settings,
                              CheckObserver& observer, const std::vector<std::string>& names,
                              TransferLimits limits, const std::function<bool()>& interrupted) {
    PassSummary summary;
    std::vector<size_t> indexes;
    summary.unknownNames = UnknownNames(store, names, indexes);
    if (!summary.unknownNames.empty()) return summary;
    TallyingObserver tally(observer, summary);
    {
        CheckEngine engine(store, settings, tally, std::move(limits));
        if (names.empty())
            engine.QueueAllForCheck();
        else
            engine.CheckSelected(indexes);
        while (!engine.WaitIdle(std::chrono::milliseconds(100))) {
            if (!summary.interrupted && interrupted && interrupted()) {
                summary.interrupted = true;
                engine.RequestStop();  // transfers end within about a second
            }
        }
    }
    store.SaveAllDocuments();
    return summary;
}

std::vector<std::string> MarkDocumentsChecked(DocumentStore& store,
                                              const std::vector<std::string>& names) {
    std::vector<size_t> indexes;
    std::vector<std::string> unknown = UnknownNames(store, names, indexes);
    if (!unknown.empty()) return unknown;
    DocumentTable& table = store.table();
    if (names.empty())
        for (size_t i = 0; i < table.size(); ++i)
            if (!table.IsFree(i)) indexes.push_back(i);
    // Only the records whose status changes are written: a record already Checked is on disk
    // as it would be written, and every rewrite costs the file system a new file.
    std::vector<size_t> marked;
    for (size_t index : indexes)
        table.Modify(index, [&](DocumentRecord& r) {
            if (r.status == static_cast<int32_t>(DocumentStatus::Checked)) return;
            r.status = static_cast<int32_t>(DocumentStatus::Checked);
            marked.push_back(index);
        });
    store.SaveDocuments(marked);
    return unknown;
}

}  // namespace wardlet
