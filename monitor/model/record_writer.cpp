#include "monitor/model/record_writer.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "common/atomic_file.h"
#include "common/debug_log.h"

namespace wardlet {
namespace {

std::function<void()>& BeforeMovesHook() {
    static std::function<void()> hook;
    return hook;
}

// Runs `first` here and `second` on a thread of its own when `split` and a thread is to be had,
// else both here, one after the other.
void RunSplit(bool split, const std::function<void()>& first, const std::function<void()>& second) {
    std::thread helper;
    if (split) {
        try {
            helper = std::thread(second);
        } catch (const std::system_error&) {  // no thread to be had: all on this one
        }
    }
    if (!helper.joinable()) {
        first();
        second();
        return;
    }
    struct Joiner {
        std::thread& thread;
        ~Joiner() { thread.join(); }
    } joiner{helper};
    first();
}

void Discard(const std::vector<FileMove>& moves) {
    for (const auto& move : moves)
        unlink(move.fresh.c_str());
}

// The smallest [first, end) outside which `a` and `b` (of one size) are the same; compared a
// block at a time, since a record mostly stays as it was.
std::pair<size_t, size_t> DifferingSpan(std::string_view a, std::string_view b) {
    constexpr size_t kBlock = 64;
    size_t first = 0, end = a.size();
    while (first + kBlock <= end && memcmp(a.data() + first, b.data() + first, kBlock) == 0)
        first += kBlock;
    while (first < end && a[first] == b[first])
        ++first;
    while (end >= first + kBlock &&
           memcmp(a.data() + end - kBlock, b.data() + end - kBlock, kBlock) == 0)
        end -= kBlock;
    while (end > first && a[end - 1] == b[end - 1])
        --end;
    return {first, end};
}

}  // namespace

void RecordWriter::SetBeforeMovesHookForTesting(std::function<void()> hook) {
    BeforeMovesHook() = std::move(hook);
}

RecordWriter::RecordWriter(std::filesystem::path folder, DocumentTable& table, ImageOf imageOf,
                           AfterRecord afterRecord)
    : folder_(std::move(folder)),
      table_(table),
      imageOf_(std::move(imageOf)),
      afterRecord_(std::move(afterRecord)) {}

RecordWriter::~RecordWriter() {
    {
        std::lock_guard guard(queueLock_);
        stopping_ = true;
    }
    queued_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    if (settler_.joinable()) settler_.join();
    Flush();
}

void RecordWriter::Queue(size_t index, uint64_t generation, bool record,
                         std::vector<FileMove> moves, bool* written) {
    if (!record && moves.empty()) return;
    {
        std::lock_guard guard(queueLock_);
        queue_.push_back({index, generation, record, std::move(moves), written, {}, {}});
        ++unsettled_[index];
        if (!flusher_.joinable() && !stopping_)
            flusher_ = std::thread(&RecordWriter::FlusherLoop, this);
    }
    queued_.notify_all();
}

void RecordWriter::Flush() {
    std::unique_lock commit(commitLock_);
    FlushLocked(commit);
}

void RecordWriter::FlushAtExit() {
    std::unique_lock commit(commitLock_);
    FlushLocked(commit, true);
}

void RecordWriter::SettleAppliedJournalInBackground() {
    std::lock_guard commit(commitLock_);
    journalApplied_ = true;
    if (settler_.joinable()) return;
    try {
        // A flush of the whole file system can take a while after a large pass; the start need
        // not wait for it.
        settler_ = std::thread([this] {
            std::lock_guard settling(commitLock_);
            SettleLocked();
        });
    } catch (const std::system_error&) {  // no thread to be had: settled here
        SettleLocked();
    }
}

void RecordWriter::SettleLocked() {
    if (!journalApplied_) return;
    FlushFileSystemOf(folder_);
    ClearRecordJournal(folder_);
    journalApplied_ = false;
}

void RecordWriter::FlushSlot(size_t index) {
    {
        std::lock_guard guard(queueLock_);
        if (unsettled_.find(index) == unsettled_.end()) return;
    }
    Flush();
}

void RecordWriter::FlushLocked(std::unique_lock<std::mutex>&, bool atExit) {
    std::vector<Entry> entries;
    {
        std::lock_guard guard(queueLock_);
        entries.swap(queue_);
    }
    if (entries.empty()) return;
    Commit(entries, atExit);
    std::lock_guard guard(queueLock_);
    for (const auto& entry : entries)
        if (--unsettled_[entry.index] == 0) unsettled_.erase(entry.index);
}

void RecordWriter::FlusherLoop() {
    std::unique_lock guard(queueLock_);
    for (;;) {
        queued_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;  // the destructor commits the rest
        // Gather what the next checks bring, so a pass pays one flush per batch, not per record.
        queued_.wait_for(guard, kGatherTime, [&] { return stopping_; });
        if (stopping_) return;
        guard.unlock();
        Flush();
        guard.lock();
    }
}

bool RecordWriter::PrepareRecord(Entry& entry, RecordJournalBuilder& journal,
                                 const OpenFolder& folder) {
    DocumentRecord record;
    std::optional<RecordFile> image;
    if (table_.GetIfGeneration(entry.index, entry.generation, record)) image = imageOf_(record);
    if (!image) return false;
    if (std::optional<std::string> old =
            ReadFileToRewrite(image->path, image->bytes.size(), image->mode, &folder)) {
        // Only the bytes that differ are written: mostly the last check and the status.
        auto [first, end] = DifferingSpan(*old, image->bytes);
        entry.rewrite = Rewrite{image->path, first, image->bytes.substr(first, end - first)};
        if (first < end) journal.Add(image->path.filename().string(), image->bytes);
        return true;
    }
    std::optional<std::filesystem::path> fresh =
        WriteFileBeside(image->path, image->bytes, image->mode);
    if (!fresh) return false;
    entry.newRecord = FileMove{*fresh, image->path};
    return true;
}

void RecordWriter::PutInPlace(Entry& entry, const DocumentRecord& current,
                              const OpenFolder& folder) {
    if (entry.record) {
        bool in = false;
        std::filesystem::path file;
        if (entry.rewrite) {
            file = entry.rewrite->file;
            in = entry.rewrite->bytes.empty() ||
                 RewriteFileRange(file, entry.rewrite->offset, entry.rewrite->bytes, &folder);
            entry.rewritten = in;
            if (!in) {
                // A rewrite cut short must not stay so once the journal goes: the whole record
                // as the slot holds it now replaces the file.
                std::optional<RecordFile> image = imageOf_(current);
                in = image && ReplaceFileAtomically(image->path, image->bytes, image->mode);
            }
        } else {
            file = entry.newRecord->target;
            in = rename(entry.newRecord->fresh.c_str(), file.c_str()) == 0;
            if (!in) unlink(entry.newRecord->fresh.c_str());
        }
        if (!in) {
            // The record did not go in, so neither may the rest.
            DebugLog("cannot write " + file.string());
            Discard(entry.moves);
            return;
        }
        if (entry.written) *entry.written = true;
        if (afterRecord_) afterRecord_(entry.index, file);
    }
    for (const FileMove& move : entry.moves) {
        if (!move.keepIn.empty()) (void)KeepReplacedCopy(move.keepIn, move.target, move.bounds);
        if (rename(move.fresh.c_str(), move.target.c_str()) == 0) continue;
        DebugLog("cannot move " + move.fresh.string() + " to " + move.target.string());
        unlink(move.fresh.c_str());
    }
}

void RecordWriter::PrepareRange(std::vector<Entry>& entries, size_t from, size_t to,
                                RecordJournalBuilder& journal, const OpenFolder& folder) {
    for (size_t i = from; i < to; ++i) {
        Entry& entry = entries[i];
        if (entry.record && !PrepareRecord(entry, journal, folder)) {
            // Without its record a new copy must not go in: the change it carries would be lost.
            Discard(entry.moves);
            entry.moves.clear();
            entry.record = false;
        }
    }
}

void RecordWriter::Commit(std::vector<Entry>& entries, bool atExit) {
    // An earlier journal is durable before anything here can depend on its rewrites.
    SettleLocked();
    OpenFolder folder(folder_);
    RecordJournalBuilder journal;
    // A large batch (an exit save, marking every document) reads its old records and writes them
    // on two threads: the reads and writes are independent system calls and most of its work.
    constexpr size_t kSplitBatch = 512;
    bool split = entries.size() >= kSplitBatch && std::thread::hardware_concurrency() > 1;
    RecordJournalBuilder second;
    size_t half = entries.size() / 2;
    RunSplit(
        split, [&] { PrepareRange(entries, 0, half, journal, folder); },
        [&] { PrepareRange(entries, half, entries.size(), second, folder); });
    journal.Append(second);
    bool newFiles = false;
    for (const auto& entry : entries)
        newFiles = newFiles || entry.newRecord || !entry.moves.empty();
    bool journaled = !journal.empty();
    std::string journalBytes = journaled ? journal.Bytes() : std::string();
    if (journaled && !WriteRecordJournal(folder_, journalBytes)) {
        // A rewrite that a crash could tear and nothing could mend is not made.
        DebugLog("cannot write " + (folder_ / kRecordJournalFile).string());
        for (auto& entry : entries) {
            if (!entry.rewrite || entry.rewrite->bytes.empty()) continue;
            Discard(entry.moves);
            entry.moves.clear();
            entry.rewrite.reset();
            entry.record = false;
        }
        journaled = false;
    }
    bool anything = false;
    for (const auto& entry : entries)
        anything = anything || entry.record || !entry.moves.empty();
    if (!anything) return;
    if (newFiles) FlushFileSystemOf(folder_);
    if (BeforeMovesHook()) BeforeMovesHook()();

    // Split by slot, so the entries of one slot go in on one thread in the order they came.
    auto putInPlace = [&](size_t parity, size_t step) {
        for (auto& entry : entries) {
            if (entry.index % step != parity || (!entry.record && entry.moves.empty())) continue;
            bool current = table_.Publish(entry.index, entry.generation,
                                          [&](DocumentRecord& r) { PutInPlace(entry, r, folder); });
            if (!current) {  // edited or deleted meanwhile
                Discard(entry.moves);
                if (entry.newRecord) unlink(entry.newRecord->fresh.c_str());
            }
        }
    };
    if (split)
        RunSplit(
            true, [&] { putInPlace(0, 2); }, [&] { putInPlace(1, 2); });
    else
        putInPlace(0, 1);
    if (!journaled) {
        if (newFiles) SyncFolderOf(folder_ / kRecordJournalFile);  // the renames in the folder
        return;
    }
    // A run's last batch of rewrites leaves its journal to redo them, unless a file was renamed
    // (the journal redoes no rename) or a journaled rewrite did not go in (the journal would
    // redo what the slot no longer holds).
    bool allRewritten = true;
    for (const auto& entry : entries)
        if (entry.rewrite && !entry.rewrite->bytes.empty() && !entry.rewritten)
            allRewritten = false;
    if (atExit && !newFiles && allRewritten &&
        MarkRecordJournalApplied(folder_, journalBytes.size())) {
        journalApplied_ = true;
        return;
    }
    // The rewrites and the renames are durable before the journal that could redo them goes.
    FlushFileSystemOf(folder_);
    ClearRecordJournal(folder_);
}

}  // namespace wardlet
