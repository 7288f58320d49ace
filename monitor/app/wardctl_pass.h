#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/app/wardlet_doc.h"
#include "monitor/engine/check_observer.h"

namespace wardlet {

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

// The check observer of wardctl, without a window: rows are the document object's, each ended
// check is told as one line (CheckLine, unless another form is set) and tallied for the exit
// status, and the one message a check can show, and its notes, go to `message`. Sound, selection,
// tray and opening have nothing to act on. Called from the check threads.
class WardctlObserver : public CheckObserver {
public:
    using Sink = std::function<void(const std::string&)>;
    using Format = std::function<std::string(const DocumentRecord&)>;
    explicit WardctlObserver(DocumentRowList& rows) : rows_(rows) {}

    // Before a pass: where its lines and messages go, and the form of the lines.
    void SetOutput(Sink line, Sink message, Format format = CheckLine);
    // The tally of the checks ended since the last call, which starts a new one.
    PassSummary TakeTally();

    void RefreshRow(size_t index) override { rows_.RefreshRow(index); }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        return rows_.FindRowOfRecord(index);
    }
    void SelectRowOfRecord(size_t) override {}
    void PlaySound(NotifyKind) override {}
    void TrayAlert(size_t, NotifyKind, std::optional<ChangedLineCount>) override {}
    void ShowMessage(std::string_view text) override;
    void OpenDocument(size_t) override {}
    void CheckEnded(size_t index, const DocumentRecord& record) override;
    void CheckNote(size_t index, std::string_view text) override;

private:
    DocumentRowList& rows_;
    std::mutex lock_;
    Sink line_;
    Sink message_;
    Format format_ = CheckLine;
    PassSummary tally_;
};

// One foreground pass over loaded documents, as wardctl runs it: with no names every listed
// document is queued (Check All), otherwise the named ones (Check Selected); the document
// object's check threads run until all have ended, with e-mail entries queued as the monitor
// queues them; then every record is written back as at the monitor's exit. When `interrupted`
// (polled a few times a second) turns true, the checks are stopped and the records written back
// all the same. `observer` is the one attached to `doc`; the caller holds the data-folder lock.
PassSummary RunForegroundPass(CWardletDoc& doc, WardctlObserver& observer,
                              const std::vector<std::string>& names,
                              const std::function<bool()>& interrupted = {});

// Mark as Checked for the named documents (all when `names` is empty), by the document object's
// rule. Returns the names no document has; nothing is changed then.
std::vector<std::string> MarkDocumentsChecked(CWardletDoc& doc,
                                              const std::vector<std::string>& names);

}  // namespace wardlet
