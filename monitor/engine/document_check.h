#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/engine/change_detection.h"
#include "monitor/engine/changed_lines.h"
#include "monitor/engine/check_observer.h"
#include "monitor/engine/engine_settings.h"
#include "monitor/engine/mail_notifier.h"
#include "monitor/engine/transfer.h"
#include "monitor/engine/validator_index.h"
#include "monitor/model/document_store.h"

namespace wardlet {

class NewCopy;
class PageFilter;

// What every check of a pass shares.
struct CheckContext {
    DocumentStore& store;
    EngineSettings& settings;
    CheckObserver& observer;
    MailNotifier& mail;
    const TransferLimits& limits;
    const std::atomic<bool>& stopping;
    TransferSession& transfers;  // the check thread's own, with its kept connections
    ValidatorIndex& validators;  // of every web document, shared by the threads
};

// One check of one claimed record. It works on the copy taken at the claim and publishes status,
// lastCount and lastCheck into the table only while the slot still holds that record. The files
// it produces, and its record when the outcome must survive a crash, are queued with the store,
// which renames them into place under the same rule, so an edit or a delete made meanwhile never
// receives them.
class DocumentCheck {
public:
    DocumentCheck(CheckContext& context, size_t index, const DocumentRecord& claimed,
                  uint64_t generation);

    // Runs the retrieval for the record's type, stamps lastCheck and refreshes the row. Never
    // throws: an escaping error ends the record Unavailable. A check cut short by the engine
    // stopping leaves the record Waiting, unstamped.
    void Run();

private:
    void Retrieve();
    void RetrieveWeb();
    void RetrieveFtp();
    void RetrieveLocal();
    // Sees each piece of the body as it arrives, beside the new copy.
    using BodyTap = std::function<void(const char* data, size_t size)>;
    // Streams the document into `copy` with the record's account. False when that already ended
    // the check (stopped, unavailable, or unchanged by a 304 answer).
    bool FetchInto(TransferRequest request, NewCopy& copy, const BodyTap& tap = {});
    // The same into `sink`; `finish` is called once the body came whole (false: not stored).
    bool Fetch(TransferRequest request, const ByteSink& sink, const std::function<bool()>& finish);
    // The outcome of a web page checked by counting, with the count of its body.
    void FinishCounted(NewCopy& copy, bool firstCheck, int64_t found);
    // Fetches a web page checked by its middle text and ends its check.
    void RetrieveMiddle(const TransferRequest& request, NewCopy& copy, bool firstCheck);
    // The document's filters: false when they already ended the check; `filter` stays empty
    // for a document without (usable) filters.
    bool LoadFilter(std::unique_ptr<PageFilter>& filter);
    // A web document with filters: the whole body is fetched, filtered, and the portion is
    // what the checking method compares and what becomes the stored copy.
    void RetrieveFiltered(const PageFilter& filter, TransferRequest request, CheckMethod method,
                          bool firstCheck);
    // The middle method on a filtered portion.
    // `counts` tells whether a difference meets the trigger.
    void FinishFilteredMiddle(NewCopy& portion, const std::string& page, std::string_view text,
                              bool firstCheck, const std::function<bool()>& counts);
    // Takes the whole page beside the stored copy once the portion became the stored copy.
    void QueueUnfilteredPage(const std::string& page);
    // Tells the user (the row's note, wardctl's error line, the debug log) about the check.
    void Note(const std::string& text);
    // Simple comparison outcome of a complete new copy.
    void FinishCompared(NewCopy& copy, bool firstCheck, bool changed);

    // Publishes the status (and optionally lastCount) and takes `newCopy` (for the stored copy)
    // and `newExtract` (for the `.middle` file) to be written with the record. False when the
    // slot no longer holds the claimed record (nothing is then changed).
    bool Publish(DocumentStatus status, std::optional<int32_t> lastCount = std::nullopt,
                 NewCopy* newCopy = nullptr, NewCopy* newExtract = nullptr);
    // Hands what Publish took to the store's writer.
    void QueueWrites();
    // With conditional requests on, the validators of the stored copy `kept` go into `request`.
    void AddValidators(TransferRequest& request, bool middle, const CopyIdentity& kept);
    // After a published outcome of a web check: the validators of the answer are kept for the
    // copy now stored when the body came whole, forgotten when the check failed.
    void UpdateValidators(DocumentStatus status, NewCopy* newCopy);
    void EndUnavailable(bool announce);
    void EndStopped();
    // Notify (sound, selection, e-mail entry) then TrayAlert.
    // A change's e-mail entry carries the changed lines up to `fresh` (when the setting asks).
    void Announce(NotifyKind kind, const NewBytes& fresh = {});
    void OpenChangedDocument();
    bool StillClaimed() const;
    // With a new stored copy of a web document: the charset its answer named goes beside the
    // kept versions, where the text of the copy is read with it (written only when it changed).
    void QueueDeclaredCharset();

    CheckContext& context_;
    size_t index_;
    DocumentRecord record_;
    uint64_t generation_;
    std::filesystem::path contentFile_;
    bool stopped_ = false;
    bool saveRecord_ = false;
    bool conditional_ = false;              // validators are looked up and kept for this check
    std::optional<TransferAnswer> answer_;  // of a body fetched whole
    std::vector<FileMove> moves_;
    std::string contentType_;  // of the last web answer
    bool webAnswer_ = false;
    bool portionIsUtf8_ = false;  // a filtered portion was decoded: its charset is UTF-8
    bool portionIsText_ = false;  // a filtered portion is a page's text, not markup
};

}  // namespace wardlet
