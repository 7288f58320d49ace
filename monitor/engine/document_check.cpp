#include "monitor/engine/document_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "common/atomic_file.h"
#include "common/debug_log.h"
#include "common/fd_io.h"
#include "common/little_endian.h"
#include "common/temp_file.h"
#include "common/time_stamp.h"
#include "monitor/changes/change_view.h"
#include "monitor/changes/document_text.h"
#include "monitor/changes/page_filters.h"
#include "monitor/engine/change_detection.h"
#include "monitor/engine/new_copy.h"
#include "monitor/engine/transfer.h"
#include "monitor/model/document_filters.h"
#include "monitor/model/feature_settings.h"
#include "monitor/model/version_history.h"

namespace wardlet {
namespace {

// How the search for a middle extract in a body ended.
enum class ExtractOutcome { Found, Missing, SinkFailed };

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

FilePtr OpenStoredCopy(const std::filesystem::path& file) {
    return FilePtr(OpenDataFileForReading(file));
}

int32_t ClampCount(int64_t count) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(count > kMax ? kMax : count);
}

std::string_view MiddleStartText(const DocumentRecord& record) {
    // Only the first 512 bytes of the start string are used.
    return std::string_view(record.middleStart, strnlen(record.middleStart, 512));
}

// A damaged filter file is told about once per run, not at every check of every pass.
bool FirstNotice(const std::string& key) {
    static std::mutex lock;
    static std::unordered_set<std::string> told;
    std::lock_guard guard(lock);
    return told.insert(key).second;
}

}  // namespace

DocumentCheck::DocumentCheck(CheckContext& context, size_t index, const DocumentRecord& claimed,
                             uint64_t generation)
    : context_(context),
      index_(index),
      record_(claimed),
      generation_(generation),
      contentFile_(context.store.ContentFile(FieldText(claimed.name))) {}

void DocumentCheck::Run() {
    try {
        // The last check's copy may still be on its way to disk; this one compares with it.
        context_.store.FlushPendingWritesOf(index_);
        context_.observer.RefreshRow(index_);
        Retrieve();
    } catch (...) {
        // Out of memory or an error from a call out: the record must not stay Retrieving.
        DebugLog("a check ended with an exception");
        try {
            stopped_ = false;
            Publish(DocumentStatus::Unavailable);
        } catch (...) {
        }
    }
    try {
        if (!stopped_) {
            std::string stamp = MakeTimeStamp();
            if (context_.store.table().Publish(index_, generation_, [&](DocumentRecord& r) {
                    SetFieldText(r.lastCheck, stamp);
                }))
                SetFieldText(record_.lastCheck, stamp);
        }
        QueueWrites();
        context_.observer.RefreshRow(index_);
        context_.observer.CheckEnded(index_, record_);
    } catch (...) {
        DebugLog("a call out at the end of a check failed");
    }
}

void DocumentCheck::Retrieve() {
    switch (TypeOf(record_)) {
        case DocumentType::WebPage:
        case DocumentType::WebFile:
            return RetrieveWeb();
        case DocumentType::FtpFile:
            return RetrieveFtp();
        case DocumentType::LocalFile:
            return RetrieveLocal();
    }
    // A type no editor writes: nothing can be fetched.
    EndUnavailable(false);
}

void DocumentCheck::RetrieveWeb() {
    bool page = TypeOf(record_) == DocumentType::WebPage;
    CheckMethod method = page ? MethodOf(record_) : CheckMethod::Simple;
    TransferRequest request;
    request.url = WebUrl(FieldText(record_.location));
    conditional_ = context_.settings.ConditionalRequests();
    std::optional<CopyIdentity> kept = IdentifyCopy(contentFile_);
    if (kept) AddValidators(request, method == CheckMethod::Middle, *kept);
    std::unique_ptr<PageFilter> filter;
    if (!LoadFilter(filter)) return;
    if (filter) return RetrieveFiltered(*filter, request, method, !kept);
    if (method == CheckMethod::Middle) {
        FilePtr stored = OpenStoredCopy(contentFile_);
        NewCopy copy(context_.store.dataFolder(), stored.get());
        return RetrieveMiddle(request, copy, !stored);
    }
    // Compared with the stored copy on the way, so a body that did not change makes no file; the
    // copy is opened once a body comes, which an answer of 304 spares.
    NewCopy copy(context_.store.dataFolder(), contentFile_);
    if (method == CheckMethod::Count) {
        StringCounter counter{std::string(FieldText(record_.countString))};
        if (!FetchInto(request, copy, [&](const char* d, size_t n) { counter.Feed(d, n); })) return;
        return FinishCounted(copy, !copy.compared(), counter.count());
    }
    if (!FetchInto(request, copy)) return;
    FinishCompared(copy, !copy.compared(), copy.differs());
}

bool DocumentCheck::LoadFilter(std::unique_ptr<PageFilter>& filter) {
    std::filesystem::path file = context_.store.FiltersOf(FieldText(record_.name));
    FiltersLoad load = LoadDocumentFilters(file);
    if (load.state == FiltersLoad::State::Damaged) {
        if (FirstNotice(file.string() + '\n' + load.problem))
            Note("Its filters cannot be read (" + load.problem +
                 "), so it is checked without them.");
        return true;
    }
    if (load.state == FiltersLoad::State::None || load.filters.empty()) return true;
    std::string problem;
    filter = PageFilter::Compile(load.filters, problem);
    if (filter) return true;
    // Compared without them it would change at every check; the user must mend them.
    Note(problem);
    EndUnavailable(true);
    return false;
}

void DocumentCheck::Note(const std::string& text) {
    std::string note = std::string(FieldText(record_.name)) + ": " + text;
    DebugLog(note);
    context_.observer.CheckNote(index_, note);
}

void DocumentCheck::RetrieveFiltered(const PageFilter& filter, TransferRequest request,
                                     CheckMethod method, bool firstCheck) {
    // The whole body first, in memory: a selection needs the whole page, and a file for it
    // is written only when it is kept for the view (a page unchanged costs no file).
    std::string page;
    if (!Fetch(
            request,
            [&](const char* data, size_t size) {
                page.append(data, size);
                return true;
            },
            [] { return true; }))
        return;
    std::filesystem::path unfiltered =
        context_.store.HistoryOf(FieldText(record_.name)) / kUnfilteredCopyFile;
    if (!firstCheck && DataFileHolds(unfiltered, page).value_or(false)) {
        // The very page the stored portion was taken from: nothing to filter or compare.
        Publish(DocumentStatus::Checked);
        return;
    }
    PageFilter::Result result = filter.Apply(page, CharsetOfContentType(contentType_));
    if (!result.ok) {
        // The element is gone (a redesign): not a change, and the stored copy stays.
        Note(result.reason);
        return EndUnavailable(true);
    }
    const DocumentFilters& filters = filter.filters();
    portionIsText_ = filters.textOnly;
    portionIsUtf8_ = filters.textOnly || filters.selectorKind != DocumentFilters::Selector::None;
    FilePtr stored = firstCheck ? nullptr : OpenStoredCopy(contentFile_);
    firstCheck = !stored;
    NewCopy portion(context_.store.dataFolder(), stored.get());
    if (!portion.Append(result.portion.data(), result.portion.size()) || !portion.Finish())
        return EndUnavailable(false);
    stored.reset();
    std::function<bool()> counts = [&] {
        // Read only when a trigger has to decide.
        if (filters.trigger.empty()) return true;
        std::optional<std::string> old = ReadDataFile(contentFile_);
        return filter.CountsAsChange(old.value_or(""), result.portion);
    };
    NewBytes fresh{portion.file(), false, portionIsText_};
    if (method == CheckMethod::Middle)
        return FinishFilteredMiddle(portion, page, result.portion, firstCheck, counts);
    if (method == CheckMethod::Count) {
        int32_t count = ClampCount(CountInCopy(result.portion, FieldText(record_.countString)));
        if (firstCheck) {
            if (Publish(DocumentStatus::Ready, count, &portion)) QueueUnfilteredPage(page);
            return;
        }
        if (count == record_.lastCount) {
            Publish(DocumentStatus::Checked);
            return;
        }
        NewCopy* replaced = portion.differs() ? &portion : nullptr;
        if (!counts()) {
            // The count moved without the trigger: taken quietly, as the new base.
            if (Publish(DocumentStatus::Checked, count, replaced) && replaced)
                QueueUnfilteredPage(page);
            return;
        }
        Announce(NotifyKind::Changed, replaced ? fresh : NewBytes{});
        if (Publish(DocumentStatus::Changed, count, replaced)) {
            if (replaced) QueueUnfilteredPage(page);
            OpenChangedDocument();
        }
        return;
    }
    if (firstCheck) {
        if (Publish(DocumentStatus::Ready, std::nullopt, &portion)) QueueUnfilteredPage(page);
        return;
    }
    if (!portion.differs()) {
        Publish(DocumentStatus::Checked);
        return;
    }
    if (!counts()) {
        // A difference without the trigger words: the new portion is the base of the next
        // check, kept without an announcement or an earlier version.
        if (Publish(DocumentStatus::Checked, std::nullopt, &portion)) QueueUnfilteredPage(page);
        return;
    }
    Announce(NotifyKind::Changed, fresh);
    if (Publish(DocumentStatus::Changed, std::nullopt, &portion)) {
        QueueUnfilteredPage(page);
        OpenChangedDocument();
    }
}

void DocumentCheck::FinishFilteredMiddle(NewCopy& portion, const std::string& page,
                                         std::string_view text, bool firstCheck,
                                         const std::function<bool()>& counts) {
    std::optional<std::string> found =
        MiddleExtract(text, MiddleStartText(record_), FieldText(record_.middleEnd));
    if (firstCheck) {
        if (!found) {
            if (Publish(DocumentStatus::Unavailable, std::nullopt, &portion)) {
                QueueUnfilteredPage(page);
                context_.observer.ShowMessage(kMiddleStringsMissing);
            }
            return;
        }
        NewCopy extract(context_.store.dataFolder(), nullptr);
        bool written = extract.Append(found->data(), found->size()) && extract.Finish();
        if (Publish(DocumentStatus::Ready, std::nullopt, &portion, written ? &extract : nullptr))
            QueueUnfilteredPage(page);
        return;
    }
    FilePtr storedExtract = OpenStoredCopy(context_.store.MiddleFile(FieldText(record_.name)));
    if (!found || !storedExtract) return EndUnavailable(true);
    NewCopy extract(context_.store.dataFolder(), storedExtract.get(),
                    StreamComparator::Extent::BodyLength);
    if ((!found->empty() && !extract.Append(found->data(), found->size())) || !extract.Finish())
        return EndUnavailable(false);
    NewCopy* replaced = portion.differs() ? &portion : nullptr;
    if (!extract.differs()) {
        Publish(DocumentStatus::Checked);
        return;
    }
    if (!counts()) {
        if (Publish(DocumentStatus::Checked, std::nullopt, replaced, &extract) && replaced)
            QueueUnfilteredPage(page);
        return;
    }
    Announce(NotifyKind::Changed,
             replaced ? NewBytes{portion.file(), false, portionIsText_} : NewBytes{});
    if (Publish(DocumentStatus::Changed, std::nullopt, replaced, &extract)) {
        if (replaced) QueueUnfilteredPage(page);
        OpenChangedDocument();
    }
}

void DocumentCheck::QueueUnfilteredPage(const std::string& page) {
    std::filesystem::path history = context_.store.HistoryOf(FieldText(record_.name));
    std::filesystem::path file = history / kUnfilteredCopyFile;
    // Beside the stored copy, as the charset is: a crash leaves a ".tmp" the next start removes.
    std::optional<std::filesystem::path> fresh;
    if (MakeHistoryFolder(history)) fresh = WriteFileBeside(contentFile_, page, 0644);
    if (fresh) {
        moves_.push_back({*fresh, file});
        return;
    }
    // An older page must not stay: it would pass for the page of the new portion.
    unlink(file.c_str());
}

bool DocumentCheck::FetchInto(TransferRequest request, NewCopy& copy, const BodyTap& tap) {
    return Fetch(
        std::move(request),
        [&](const char* data, size_t size) {
            if (tap) tap(data, size);
            return copy.Append(data, size);
        },
        [&] { return copy.Finish(); });
}

bool DocumentCheck::Fetch(TransferRequest request, const ByteSink& sink,
                          const std::function<bool()>& finish) {
    request.useAccount = FlagOn(record_.useAccount);
    request.userName = FieldText(record_.userName);
    request.password = FieldText(record_.password);
    TransferAnswer answer;
    auto outcome =
        context_.transfers.Run(request, sink, context_.limits, context_.stopping, nullptr, &answer);
    if (outcome == TransferOutcome::NotModified) {
        // The stored copy is the body: its count and extract stand as they are, nothing is
        // written, and the validators stay.
        Publish(DocumentStatus::Checked);
        return false;
    }
    webAnswer_ = !request.ftp;
    contentType_ = answer.contentType;
    if (outcome == TransferOutcome::Stopped) {
        EndStopped();
        return false;
    }
    if (outcome == TransferOutcome::Failed || outcome == TransferOutcome::HttpError ||
        outcome == TransferOutcome::TooLarge) {
        EndUnavailable(true);  // the copy being fetched goes with `copy`; the stored one stays
        return false;
    }
    if (outcome == TransferOutcome::SinkFailed || !finish()) {
        EndUnavailable(false);
        return false;
    }
    answer_ = std::move(answer);
    return true;
}

void DocumentCheck::AddValidators(TransferRequest& request, bool middle, const CopyIdentity& kept) {
    if (!conditional_) return;
    // Without a stored extract a whole body must come to tell the check's outcome.
    if (middle && !IdentifyCopy(context_.store.MiddleFile(FieldText(record_.name)))) return;
    auto validators = context_.validators.Find(std::string(FieldText(record_.name)),
                                               ComparisonFingerprint(record_), kept);
    if (!validators) return;
    request.ifNoneMatch = validators->etag;
    request.ifModifiedSince = validators->lastModified;
}

void DocumentCheck::UpdateValidators(DocumentStatus status, NewCopy* newCopy) {
    // A check cut short says nothing about the copy.
    if (!conditional_ || status == DocumentStatus::Waiting) return;
    std::string name(FieldText(record_.name));
    bool whole = status == DocumentStatus::Ready || status == DocumentStatus::Checked ||
                 status == DocumentStatus::Changed;
    if (!whole) return context_.validators.Forget(name);
    if (!answer_) return;  // unchanged by a 304: what is kept still holds
    // The new copy is renamed into place, which keeps what identifies it.
    auto copy = IdentifyCopy(newCopy ? newCopy->file() : contentFile_);
    if (!copy) return context_.validators.Forget(name);
    context_.validators.Remember(name, ComparisonFingerprint(record_), *copy,
                                 {answer_->etag, answer_->lastModified});
}

void DocumentCheck::RetrieveFtp() {
    auto location = SplitFtpLocation(FieldText(record_.location));
    if (!location) return EndUnavailable(false);
    // "host/" or "host/dir/" names no file; fetching it would list the folder instead.
    if (location->file.empty()) return EndUnavailable(true);
    FilePtr stored = OpenStoredCopy(contentFile_);
    bool firstCheck = !stored;
    NewCopy copy(context_.store.dataFolder(), stored.get());
    if (!FetchInto(FtpRequest(*location), copy)) return;
    FinishCompared(copy, firstCheck, copy.differs());
}

void DocumentCheck::RetrieveLocal() {
    std::string path(FieldText(record_.location));
    FilePtr stored = OpenStoredCopy(contentFile_);
    UniqueFd source = OpenRegularFileForReading(path);
    if (source.get() < 0) return EndUnavailable(true);
    if (stored) {
        switch (CompareFiles(source.get(), fileno(stored.get()), context_.stopping)) {
            case FileComparison::Stopped:
                return EndStopped();
            case FileComparison::ReadError:
                return EndUnavailable(true);
            case FileComparison::Equal:
                Publish(DocumentStatus::Checked);
                return;
            case FileComparison::Different:
                break;
        }
        // Announced before the copy is taken; a failed copy is then announced as well.
        Announce(NotifyKind::Changed, {path, true});
        if (lseek(source.get(), 0, SEEK_SET) != 0) return EndUnavailable(true);
    }
    NewCopy copy(context_.store.dataFolder(), nullptr);
    switch (CopyInto(source.get(), copy, context_.stopping)) {
        case CopyResult::Stopped:
            return EndStopped();
        case CopyResult::ReadFailed:
        case CopyResult::WriteFailed:
            return EndUnavailable(true);
        case CopyResult::Done:
            break;
    }
    DocumentStatus status = stored ? DocumentStatus::Changed : DocumentStatus::Ready;
    Publish(status, std::nullopt, &copy);
}

void DocumentCheck::FinishCompared(NewCopy& copy, bool firstCheck, bool changed) {
    if (firstCheck) {
        Publish(DocumentStatus::Ready, std::nullopt, &copy);
        return;
    }
    if (!changed) {
        Publish(DocumentStatus::Checked);  // the new copy goes with `copy`
        return;
    }
    Announce(NotifyKind::Changed, {copy.file()});
    if (Publish(DocumentStatus::Changed, std::nullopt, &copy)) OpenChangedDocument();
}

void DocumentCheck::FinishCounted(NewCopy& copy, bool firstCheck, int64_t found) {
    int32_t count = ClampCount(found);
    if (firstCheck) {
        Publish(DocumentStatus::Ready, count, &copy);  // a new count is saved at once
        return;
    }
    if (count == record_.lastCount) {
        Publish(DocumentStatus::Checked);
        return;
    }
    Announce(NotifyKind::Changed, {copy.differs() ? copy.file() : std::filesystem::path()});
    // A body the same as the stored copy (the count string was edited) made no new file.
    if (Publish(DocumentStatus::Changed, count, copy.differs() ? &copy : nullptr))
        OpenChangedDocument();
}

void DocumentCheck::RetrieveMiddle(const TransferRequest& request, NewCopy& copy, bool firstCheck) {
    // The extract is found as the body arrives and compared with the stored one by its own
    // length: an unchanged extract makes no file either.
    FilePtr storedExtract =
        firstCheck ? nullptr : OpenStoredCopy(context_.store.MiddleFile(FieldText(record_.name)));
    NewCopy extract(context_.store.dataFolder(), storedExtract.get(),
                    StreamComparator::Extent::BodyLength);
    MiddleFinder finder(std::string(MiddleStartText(record_)),
                        std::string(FieldText(record_.middleEnd)),
                        [&](const char* data, size_t size) { return extract.Append(data, size); });
    bool sinkFailed = false;
    if (!FetchInto(request, copy, [&](const char* data, size_t size) {
            if (!sinkFailed && !finder.FeedBody(data, size)) sinkFailed = true;
        }))
        return;
    ExtractOutcome found = sinkFailed       ? ExtractOutcome::SinkFailed
                           : finder.found() ? ExtractOutcome::Found
                                            : ExtractOutcome::Missing;
    if (found == ExtractOutcome::Found && !extract.Finish()) found = ExtractOutcome::SinkFailed;
    if (firstCheck) {
        if (found == ExtractOutcome::Missing) {
            // The first copy is kept, so the message comes once; later checks announce instead.
            if (Publish(DocumentStatus::Unavailable, std::nullopt, &copy))
                context_.observer.ShowMessage(kMiddleStringsMissing);
            return;
        }
        // An extract that cannot be stored does not fail the first check.
        bool stored = found == ExtractOutcome::Found;
        Publish(DocumentStatus::Ready, std::nullopt, &copy, stored ? &extract : nullptr);
        return;
    }
    // Without a stored extract there is nothing to compare with.
    if (found != ExtractOutcome::Found || !storedExtract) return EndUnavailable(true);
    if (!extract.differs()) {
        Publish(DocumentStatus::Checked);
        return;
    }
    Announce(NotifyKind::Changed, {copy.differs() ? copy.file() : std::filesystem::path()});
    if (Publish(DocumentStatus::Changed, std::nullopt, copy.differs() ? &copy : nullptr, &extract))
        OpenChangedDocument();
}

bool DocumentCheck::Publish(DocumentStatus status, std::optional<int32_t> lastCount,
                            NewCopy* newCopy, NewCopy* newExtract) {
    bool published = context_.store.table().Publish(index_, generation_, [&](DocumentRecord& r) {
        r.status = static_cast<int32_t>(status);
        if (lastCount) r.lastCount = *lastCount;
    });
    if (!published) return false;  // the new files go with their NewCopy objects
    UpdateValidators(status, newCopy);
    record_.status = static_cast<int32_t>(status);
    if (lastCount) record_.lastCount = *lastCount;
    // A change or a failure must survive a crash with its status, and so must a new count;
    // other outcomes are written at exit.
    if (status == DocumentStatus::Changed || status == DocumentStatus::Unavailable || lastCount)
        saveRecord_ = true;
    if (newCopy) {
        FileMove move{newCopy->file(), contentFile_};
        // A change replaces a copy worth keeping; read the bounds only then, so an unchanged
        // document costs nothing.
        if (status == DocumentStatus::Changed) {
            FeatureSettings features = LoadFeatureSettings(context_.store.dataFolder());
            move.keepIn = context_.store.HistoryOf(FieldText(record_.name));
            move.bounds = {features.keptVersions, features.keptVersionBytes};
        }
        moves_.push_back(std::move(move));
        newCopy->Release();
        if (webAnswer_) QueueDeclaredCharset();
    }
    if (newExtract) {
        moves_.push_back({newExtract->file(), context_.store.MiddleFile(FieldText(record_.name))});
        newExtract->Release();
    }
    return true;
}

void DocumentCheck::QueueDeclaredCharset() {
    // A selected or text-only portion was decoded into UTF-8 before it was stored.
    std::string charset = portionIsUtf8_ ? "utf-8" : CharsetOfContentType(contentType_);
    std::filesystem::path history = context_.store.HistoryOf(FieldText(record_.name));
    std::filesystem::path file = history / kDeclaredCharsetFile;
    std::optional<std::string> stored = ReadDataFile(file);
    if (stored ? *stored == charset : charset.empty()) return;
    if (!MakeHistoryFolder(history)) return;
    // Written beside the stored copy, so a crash leaves a ".tmp" file the next start removes.
    if (std::optional<std::filesystem::path> fresh = WriteFileBeside(contentFile_, charset, 0644))
        moves_.push_back({*fresh, file});
}

void DocumentCheck::QueueWrites() {
    context_.store.QueueCheckResults(index_, generation_, saveRecord_, std::move(moves_));
    saveRecord_ = false;
    moves_.clear();
}

void DocumentCheck::EndUnavailable(bool announce) {
    Publish(DocumentStatus::Unavailable);
    if (announce) Announce(NotifyKind::Unavailable);
}

void DocumentCheck::EndStopped() {
    stopped_ = true;
    Publish(DocumentStatus::Waiting);
}

bool DocumentCheck::StillClaimed() const {
    return context_.store.table().Generation(index_) == generation_;
}

void DocumentCheck::Announce(NotifyKind kind, const NewBytes& fresh) {
    // A finding about a record that was edited or deleted meanwhile concerns nothing listed.
    if (!StillClaimed()) return;
    NotifySettings settings = context_.settings.Notification();
    bool change = kind == NotifyKind::Changed;
    if (change ? settings.soundOnChange : settings.soundOnFailure)
        context_.observer.PlaySound(kind);
    if (change ? settings.selectOnChange : settings.selectOnFailure)
        context_.observer.SelectRowOfRecord(index_);
    // Room for as many entries as the table has slots, counted in whole chunks as allocated.
    size_t chunk = DocumentTable::kChunkSlots;
    size_t slots = (context_.store.table().size() + chunk - 1) / chunk * chunk;
    ChangeOutline outline;
    // The mail's lines only for an entry that is going to be written, and read from the
    // settings only then. Read before the new copy replaces the stored one.
    bool mailLines = change && settings.mailQueueActive && settings.mail.sendOnChange != 0 &&
                     !fresh.file.empty() &&
                     LoadFeatureSettings(context_.store.dataFolder()).mailChanges;
    if (change && !fresh.file.empty()) {
        try {
            outline = OutlineChange(record_, contentFile_, fresh,
                                    context_.store.HistoryOf(FieldText(record_.name)), mailLines);
        } catch (const std::exception&) {
            DebugLog("the changed lines of a finding could not be made");
        }
    }
    context_.mail.QueueEntry(index_, record_, kind, settings, slots, outline.mailLines);
    context_.observer.TrayAlert(index_, kind, outline.counts);
}

void DocumentCheck::OpenChangedDocument() {
    auto type = TypeOf(record_);
    if (type != DocumentType::WebPage && type != DocumentType::WebFile) return;
    if (!context_.settings.Notification().openPageOnChange) return;
    // A web file opens from its stored copy, which must be the new one.
    QueueWrites();
    context_.store.FlushPendingWritesOf(index_);
    context_.observer.OpenDocument(index_);
}

}  // namespace wardlet
