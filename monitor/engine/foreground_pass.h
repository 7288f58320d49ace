#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/engine/check_observer.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/model/document_store.h"
#include "monitor/model/headless_list.h"

namespace wardlet {

// The check observer of a run without a window: rows come from a headless list, each ended check
// is reported as one line "name<TAB>status text<TAB>last check", and the one message a check can
// show goes to `message`. Sound, selection, tray and opening have nothing to act on.
class HeadlessCheckObserver : public CheckObserver {
public:
    HeadlessCheckObserver(HeadlessDocumentList& list, std::function<void(const std::string&)> line,
                          std::function<void(std::string_view)> message);

    void RefreshRow(size_t index) override { list_.RefreshRow(index); }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        return list_.FindRowOfRecord(index);
    }
    void SelectRowOfRecord(size_t) override {}
    void PlaySound(NotifyKind) override {}
    void TrayAlert(size_t, NotifyKind) override {}
    void ShowMessage(std::string_view text) override;
    void OpenDocument(size_t) override {}
    void CheckEnded(size_t index, const DocumentRecord& record) override;

private:
    HeadlessDocumentList& list_;
    std::function<void(const std::string&)> line_;
    std::function<void(std::string_view)> message_;
};

// "name<TAB>status text<TAB>last check" ("?" when never checked), the form of wardctl's lines.
std::string CheckLine(const DocumentRecord& record);

struct PassSummary {
    std::vector<std::string> unknownNames;  // names no document has; nothing was checked then
    size_t checked = 0;
    bool anyChanged = false;
    bool anyUnavailable = false;
    bool interrupted = false;  // `interrupted` asked the pass to stop before it ended
    // 0 nothing changed and everything was retrieved, 1 something changed, 2 something could not
    // be retrieved, 3 both.
    int ExitStatus() const { return (anyChanged ? 1 : 0) | (anyUnavailable ? 2 : 0); }
};

// One foreground pass over loaded documents, as wardctl runs it: with no names every listed
// document is queued (Check All), otherwise the named ones (Check Selected); threadCount passes
// run until all have ended, with e-mail entries queued as the monitor queues them; then every
// record is written back as at the monitor's exit. When `interrupted` (polled a few times a
// second) turns true, the checks are stopped and the records written back all the same.
// The caller holds the data-folder lock.
PassSummary RunForegroundPass(DocumentStore& store, EngineSettings& settings,
                              CheckObserver& observer, const std::vector<std::string>& names,
                              TransferLimits limits = TransferLimits::FromEnvironment(),
                              const std::function<bool()>& interrupted = {});

// Mark as Checked for the named documents (all when `names` is empty), each saved at once.
// Returns the names no document has; nothing is changed then.
std::vector<std::string> MarkDocumentsChecked(DocumentStore& store,
                                              const std::vector<std::string>& names);

}  // namespace wardlet
