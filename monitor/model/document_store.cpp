#include "monitor/model/document_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/atomic_file.h"
#include "common/debug_log.h"
#include "common/fd_io.h"
#include "common/little_endian.h"
#include "common/mail_config.h"
#include "monitor/model/account_scramble.h"
#include "monitor/model/document_editor.h"
#include "monitor/model/record_journal.h"
#include "monitor/model/version_history.h"

namespace wardlet {
namespace {

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// Regular files of `folder` whose names end in `suffix`, in directory order.
std::vector<std::string> FilesEndingWith(const std::filesystem::path& folder,
                                         std::string_view suffix) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (!EndsWith(name, suffix)) continue;
        // The entry's type saves a stat per file; only an unknown type needs one.
        if (entry->d_type == DT_REG) {
            names.emplace_back(name);
            continue;
        }
        if (entry->d_type != DT_UNKNOWN) continue;
        struct stat st {};
        if (lstat((folder / entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.emplace_back(name);
    }
    closedir(dir);
    return names;
}

bool ReadExactRecord(const std::filesystem::path& file, const OpenFolder& folder,
                     RecordBytes& bytes) {
    UniqueFd opened = OpenDataFile(file, DataFileMode::Read, 0600, &folder);
    if (!opened.valid()) return false;
    int fd = opened.get();
    // One byte more than a record is asked for: a longer file is not a document either.
    unsigned char buffer[kRecordSize + 1];
    size_t n = 0;
    while (n < sizeof buffer) {
        size_t asked = sizeof buffer - n;
        ssize_t got = read(fd, buffer + n, asked);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        n += static_cast<size_t>(got);
        // A regular file reads short only at its end: no second call to learn that.
        if (static_cast<size_t>(got) < asked) break;
    }
    if (n != kRecordSize) return false;
    memcpy(bytes.data(), buffer, kRecordSize);
    return true;
}

void RemoveFile(const std::filesystem::path& file) {
    unlink(file.c_str());
}

// A file that is not there has nothing to move.
void MoveFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (rename(from.c_str(), to.c_str()) != 0 && errno != ENOENT)
        DebugLog("cannot move " + from.string() + " to " + to.string());
}

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    struct stat sa {
    }, sb{};
    return lstat(a.c_str(), &sa) == 0 && lstat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// The start string as a check reads it: only its first 512 bytes are used.
std::string_view MiddleStartText(const DocumentRecord& record) {
    return std::string_view(record.middleStart, strnlen(record.middleStart, 512));
}

// Everything a check fetches and compares by. An edit that keeps it all still describes the same
// document, so the stored copy stays valid; the account and the name do not count.
bool ComparesTheSame(const DocumentRecord& a, const DocumentRecord& b) {
    return a.type == b.type && FieldText(a.location) == FieldText(b.location) &&
           a.useCount == b.useCount && a.useMiddle == b.useMiddle &&
           FieldText(a.countString) == FieldText(b.countString) &&
           MiddleStartText(a) == MiddleStartText(b) &&
           FieldText(a.middleEnd) == FieldText(b.middleEnd);
}

}  // namespace

bool IsSafeStoredName(const DocumentRecord& record) {
    if (!FieldTerminated(record.name)) return false;
    std::string_view name = FieldText(record.name);
    return !name.empty() && NameHasAllowedCharacters(name) && name.size() <= kMaxNameBytes;
}

DocumentStore::DocumentStore(std::filesystem::path dataFolder, DocumentTable& table)
    : dataFolder_(std::move(dataFolder)),
      table_(table),
      writer_(
          dataFolder_, table, [this](const DocumentRecord& record) { return RecordFileOf(record); },
          [this](size_t index, const std::filesystem::path& file) { RecordWritten(index, file); }) {
}

std::filesystem::path DocumentStore::DataFile(std::string_view name) const {
    return dataFolder_ / (std::string(name) + ".data");
}
std::filesystem::path DocumentStore::ContentFile(std::string_view name) const {
    return dataFolder_ / (std::string(name) + ".content");
}
std::filesystem::path DocumentStore::MiddleFile(std::string_view name) const {
    return dataFolder_ / (std::string(name) + ".middle");
}
std::filesystem::path DocumentStore::HistoryOf(std::string_view name) const {
    return HistoryFolder(dataFolder_, name);
}
std::filesystem::path DocumentStore::FiltersOf(std::string_view name) const {
    return FiltersFile(dataFolder_, name);
}

DocumentStore::LoadReport DocumentStore::LoadAllDocuments() {
    LoadReport report;
    size_t first = table_.size();
    // A program that only reads may find a batch of rewrites under way or cut short by a crash:
    // its journal holds what the records are becoming. One left applied on this boot holds what
    // they are already.
    std::unordered_map<std::string, std::string> rewriting;
    if (!journalInFiles_ && !RecordJournalAppliedThisBoot(dataFolder_))
        for (auto& entry : ReadRecordJournal(dataFolder_))
            rewriting[entry.fileName] = std::move(entry.image);
    // Directory order is the file system's hash order, which changes as files come and go;
    // name order gives the same list after every start, alphabetical as the user expects.
    std::vector<std::string> fileNames = FilesEndingWith(dataFolder_, ".data");
    std::sort(fileNames.begin(), fileNames.end(), [](std::string_view a, std::string_view b) {
        return a.substr(0, a.size() - 5) < b.substr(0, b.size() - 5);  // the names, byte-wise
    });
    OpenFolder folder(dataFolder_);
    for (const auto& fileName : fileNames) {
        RecordBytes bytes;
        if (!ReadExactRecord(dataFolder_ / fileName, folder, bytes)) {
            report.refused.push_back(fileName);
            continue;
        }
        if (auto image = rewriting.find(fileName); image != rewriting.end())
            memcpy(bytes.data(), image->second.data(), kRecordSize);
        DocumentRecord record = RecordFromBytes(bytes);
        if (!IsSafeStoredName(record)) {
            report.refused.push_back(fileName);
            continue;
        }
        DecodeAccount(record);
        // Nothing is being retrieved at start: such a record waits for the next pass.
        if (StatusOf(record) == DocumentStatus::Retrieving)
            SetStatus(record, DocumentStatus::Waiting);
        size_t index = table_.Add(record);
        if (index == DocumentTable::kNoSlot) break;
        ++report.loaded;
        if (fileName != std::string(FieldText(record.name)) + ".data") {
            std::lock_guard guard(loadedLock_);
            loadedFrom_[index] = dataFolder_ / fileName;
        }
    }
    if (list_)
        for (size_t i = first; i < table_.size(); ++i)
            if (!table_.IsFree(i)) list_->AddRow(i);
    return report;
}

std::optional<RecordFile> DocumentStore::RecordFileOf(const DocumentRecord& current) const {
    DocumentRecord record = current;
    std::string_view name = FieldText(record.name);
    if (name.empty()) return std::nullopt;
    // A check's claim lives only in memory; on disk the record still waits for it.
    if (StatusOf(record) == DocumentStatus::Retrieving) SetStatus(record, DocumentStatus::Waiting);
    bool secret = FlagOn(record.useAccount);
    if (secret) EncodeAccount(record);  // on the copy: the table keeps plain values
    RecordBytes bytes = ToBytes(record);
    return RecordFile{DataFile(name),
                      std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                      static_cast<mode_t>(secret ? 0600 : 0644)};
}

bool DocumentStore::SaveDocument(size_t index) {
    bool written = false;
    writer_.Queue(index, table_.Generation(index), true, {}, &written);
    writer_.Flush();
    return written;
}

void DocumentStore::SaveDocuments(const std::vector<size_t>& indexes) {
    for (size_t index : indexes)
        writer_.Queue(index, table_.Generation(index), true, {});
    writer_.Flush();
}

std::vector<size_t> DocumentStore::PrepareSaveAll() {
    // Queued copies are temporary files until committed: they go in before the sweep.
    writer_.Flush();
    DeleteTempFiles();
    std::vector<size_t> named;
    for (size_t i = 0; i < table_.size(); ++i) {
        table_.Modify(i, [](DocumentRecord& r) {
            if (StatusOf(r) == DocumentStatus::Retrieving) SetStatus(r, DocumentStatus::Waiting);
        });
        if (!table_.IsFree(i)) named.push_back(i);
    }
    return named;
}

void DocumentStore::SaveAllDocuments() {
    SaveDocuments(PrepareSaveAll());
}

void DocumentStore::SaveAllDocumentsAtExit() {
    for (size_t index : PrepareSaveAll())
        writer_.Queue(index, table_.Generation(index), true, {});
    writer_.FlushAtExit();
}

void DocumentStore::QueueCheckResults(size_t index, uint64_t generation, bool record,
                                      std::vector<FileMove> moves) {
    writer_.Queue(index, generation, record, std::move(moves));
}

void DocumentStore::FlushPendingWrites() {
    writer_.Flush();
}

void DocumentStore::FlushPendingWritesOf(size_t index) {
    writer_.FlushSlot(index);
}

std::optional<std::filesystem::path> DocumentStore::TakeLoadedFile(size_t index) {
    std::lock_guard guard(loadedLock_);
    auto found = loadedFrom_.find(index);
    if (found == loadedFrom_.end()) return std::nullopt;
    std::filesystem::path loaded = std::move(found->second);
    loadedFrom_.erase(found);
    return loaded;
}

void DocumentStore::RecordWritten(size_t index, const std::filesystem::path& file) {
    std::optional<std::filesystem::path> loaded = TakeLoadedFile(index);
    if (!loaded) return;
    std::string name = file.stem().string();
    // Two files holding one name both load; the other record may still need its file.
    if (*loaded != file && table_.CountNamed(name) <= 1) RemoveFile(*loaded);
}

void DocumentStore::RemoveLoadedFile(size_t index) {
    if (std::optional<std::filesystem::path> loaded = TakeLoadedFile(index)) RemoveFile(*loaded);
}

void DocumentStore::DeleteTempFiles() {
    for (const auto& name : FilesEndingWith(dataFolder_, ".tmp"))
        RemoveFile(dataFolder_ / name);
}

void DocumentStore::DeleteStrayFiles() {
    journalInFiles_ = RecordJournalAppliedThisBoot(dataFolder_);
    if (journalInFiles_)
        writer_.SettleAppliedJournalInBackground();
    else
        FinishInterruptedRewrites(dataFolder_);
    for (const auto& name : FilesEndingWith(dataFolder_, ".tmp"))
        if (name != kMailConfigTestFile) RemoveFile(dataFolder_ / name);
    std::filesystem::path filters = dataFolder_ / kFiltersFolderName;
    for (const auto& name : FilesEndingWith(filters, ".tmp"))
        RemoveFile(filters / name);
    RemoveStrayHistory(dataFolder_);
}

size_t DocumentStore::AddDocument(const DocumentRecord& staged, const DocumentFilters* filters) {
    // Before the record: a document must not be checked, even once, without its filters.
    if (!SaveDocumentFilters(FiltersOf(FieldText(staged.name)),
                             filters ? *filters : DocumentFilters{}))
        return DocumentTable::kNoSlot;
    size_t index = table_.Add(staged);
    if (index == DocumentTable::kNoSlot) return index;
    // A new document starts without earlier versions, whatever a crash left under its name.
    RemoveHistory(HistoryOf(FieldText(staged.name)));
    if (list_) list_->AddRow(index);
    SaveDocument(index);
    StartChecks();
    return index;
}

EditOutcome DocumentStore::EditDocument(size_t index, const DocumentRecord& staged,
                                        const DocumentFilters* filters) {
    // Results of a finished check of the old record go to disk first, so a copy kept below is
    // the one the kept status and count describe.
    writer_.FlushSlot(index);
    DocumentRecord old = table_.Get(index);
    // A check still running is dropped by the replace: the record waits for the next one.
    if (StatusOf(old) == DocumentStatus::Retrieving) SetStatus(old, DocumentStatus::Waiting);
    std::string oldName(FieldText(old.name));
    std::string newName(FieldText(staged.name));
    FiltersLoad oldFilters = LoadDocumentFilters(FiltersOf(oldName));
    bool sameFilters = !filters || (oldFilters.state != FiltersLoad::State::Damaged &&
                                    oldFilters.filters == *filters);
    bool keepCopy = ComparesTheSame(old, staged) && sameFilters;
    bool renamed = oldName != newName;
    // New filters go in before the record, so the record never names filters it does not have.
    if (filters && !SaveDocumentFilters(FiltersOf(newName), *filters)) return EditOutcome::NotSaved;
    DocumentRecord edited = staged;
    if (keepCopy) {
        // Only an unseen change is kept; whatever else the old status said is checked again now.
        if (StatusOf(old) == DocumentStatus::Changed) edited.status = old.status;
        edited.lastCount = old.lastCount;
        memcpy(edited.lastCheck, old.lastCheck, sizeof edited.lastCheck);
    }
    // The slot changes first, so a check of the old record can no longer publish or move its
    // files. Until the files are in order no pass may claim the record either (it would compare
    // with a copy that is about to move or go): it is held as if being retrieved, which is
    // written as Waiting.
    DocumentRecord held = edited;
    if (StatusOf(held) == DocumentStatus::Waiting) SetStatus(held, DocumentStatus::Retrieving);
    table_.Replace(index, held);
    uint64_t generation = table_.Generation(index);
    if (!SaveDocument(index)) {
        // Nothing on disk has changed: the slot goes back to the document the files describe.
        if (filters) RestoreFilters(oldName, newName, oldFilters);
        table_.Replace(index, old);
        if (list_) list_->RefreshRow(index);
        return EditOutcome::NotSaved;
    }
    if (renamed) {
        if (filters)
            RemoveFile(FiltersOf(oldName));
        else
            MoveFile(FiltersOf(oldName), FiltersOf(newName));
    }
    if (keepCopy) {
        if (renamed) {
            MoveFile(ContentFile(oldName), ContentFile(newName));
            MoveFile(MiddleFile(oldName), MiddleFile(newName));
            MoveHistory(HistoryOf(oldName), HistoryOf(newName));
        }
    } else {
        RemoveFile(ContentFile(oldName));
        RemoveFile(MiddleFile(oldName));
        // Earlier versions of what the document was no longer compare with what it is.
        RemoveHistory(HistoryOf(oldName));
        if (renamed) RemoveHistory(HistoryOf(newName));
    }
    // Last, so a crash before it leaves the document twice rather than without its copy. A name
    // that differs only in case may be the new file itself on a case-blind file system.
    if (renamed && !SameFile(DataFile(oldName), DataFile(newName))) RemoveFile(DataFile(oldName));
    SyncFolderOf(DataFile(newName));
    if (held.status != edited.status)
        table_.Publish(index, generation, [&](DocumentRecord& r) { r.status = edited.status; });
    if (list_) list_->RefreshEditedRow(index, oldName);
    StartChecks();
    return EditOutcome::Saved;
}

void DocumentStore::DeleteDocuments(const std::vector<std::string>& rowNames) {
    for (auto row = rowNames.rbegin(); row != rowNames.rend(); ++row) {
        size_t index = FindRecordByName(*row);
        if (index == DocumentTable::kNoSlot) continue;
        if (list_) list_->RemoveRow(index);
        table_.Clear(index);  // first, as for an edit: a running check then keeps its hands off
        RemoveLoadedFile(index);
        // Before the record: a crash in between must not leave versions for a later document
        // of the same name to inherit.
        RemoveHistory(HistoryOf(*row));
        RemoveFile(DataFile(*row));
        RemoveFile(ContentFile(*row));
        RemoveFile(MiddleFile(*row));
        RemoveFile(FiltersOf(*row));
    }
}

void DocumentStore::RestoreFilters(const std::string& oldName, const std::string& newName,
                                   const FiltersLoad& old) {
    if (oldName != newName) {
        RemoveFile(FiltersOf(newName));
        return;
    }
    // A damaged file was replaced; its bytes are gone, and checks ran without them anyway.
    if (!SaveDocumentFilters(FiltersOf(oldName), old.filters))
        DebugLog("the filters of " + oldName + " could not be put back");
}

size_t DocumentStore::FindRecordByName(std::string_view name) const {
    return table_.FindByName(name);
}

void DocumentStore::StartChecks() {
    if (checks_) checks_->StartCheckThreads();
}

}  // namespace wardlet
