#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "common/fd_io.h"
#include "monitor/model/document_table.h"
#include "monitor/model/record_journal.h"
#include "monitor/model/version_history.h"

namespace wardlet {

// A finished new file that is to replace `target` (a fetched copy, an extract).
struct FileMove {
    std::filesystem::path fresh;
    std::filesystem::path target;
    // When not empty, the target being replaced is kept as an earlier version in this history
    // folder (linked there just before the rename, so it is the whole old copy or nothing).
    std::filesystem::path keepIn = {};
    VersionBounds bounds = {};
};

// A record as its ".data" file is written.
struct RecordFile {
    std::filesystem::path path;
    std::string bytes;
    mode_t mode;
};

// Writes records and the files that go with them in batches. A batch takes its records from the
// table at that moment. A record whose file is there already is rewritten in place, only where
// its bytes differ, with the batch's journal made durable first; any other record gets a new file
// beside its old one, and the new files are flushed once. Then, per entry under its slot lock and
// only while the slot still holds the generation the entry was queued for, the record goes in
// first and its other files after it. A delete or an
// edit bumps the generation under the same lock, so neither can be undone by a late write, and
// a new copy never reaches disk before the record that says what it means.
// Queued entries are committed by a background flusher within kGatherTime, or at once by Flush.
class RecordWriter {
public:
    using ImageOf = std::function<std::optional<RecordFile>(const DocumentRecord&)>;
    // Called after the record of `index` was renamed into place, under its slot lock.
    using AfterRecord = std::function<void(size_t index, const std::filesystem::path& file)>;

    static constexpr auto kGatherTime = std::chrono::milliseconds(100);

    // Every record file and the journal are in `folder`.
    RecordWriter(std::filesystem::path folder, DocumentTable& table, ImageOf imageOf,
                 AfterRecord afterRecord);
    // Commits what is still queued.
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // Queues the record of `index` (when `record`) and `moves`; `written`, when given, is set
    // once the record is in place (read it after Flush).
    void Queue(size_t index, uint64_t generation, bool record, std::vector<FileMove> moves,
               bool* written = nullptr);
    // Commits everything queued so far before it returns.
    void Flush();
    // Flush, as the last batch of a program's run: when that batch only rewrites records and
    // every rewrite went in, it does not wait for them to reach the disk. Its journal, durable
    // already, is left marked applied, and the next program to take the folder (or the next
    // batch here) makes the rewrites durable before the journal goes.
    void FlushAtExit();
    // Start of a program: a journal an earlier run left applied on this boot is made durable and
    // removed on a thread of its own; the first batch waits for that.
    void SettleAppliedJournalInBackground();
    // Flush, when something of `index` is still queued or being committed.
    void FlushSlot(size_t index);

    // Test seam: runs in a commit once the journal and the new files are durable, before any
    // record or other file goes in.
    static void SetBeforeMovesHookForTesting(std::function<void()> hook);

private:
    // The record of an entry as a commit puts it in: rewritten bytes, or a new file renamed.
    struct Rewrite {
        std::filesystem::path file;
        size_t offset;
        std::string bytes;  // empty: the file holds the record already
    };
    struct Entry {
        size_t index;
        uint64_t generation;
        bool record;
        std::vector<FileMove> moves;
        bool* written;
        std::optional<Rewrite> rewrite;
        std::optional<FileMove> newRecord;
        bool rewritten = false;  // its rewrite went in as journaled
    };
    void FlushLocked(std::unique_lock<std::mutex>& commit, bool atExit = false);
    void Commit(std::vector<Entry>& entries, bool atExit);
    // Makes the rewrites of an applied journal durable and removes it (commitLock_ held).
    void SettleLocked();
    // Decides how the entry's record goes in; false when it cannot (and then neither may the rest).
    bool PrepareRecord(Entry& entry, RecordJournalBuilder& journal, const OpenFolder& folder);
    // PrepareRecord for entries [from, to); an entry whose record cannot go in drops its files.
    void PrepareRange(std::vector<Entry>& entries, size_t from, size_t to,
                      RecordJournalBuilder& journal, const OpenFolder& folder);
    // Under the slot lock, with the slot's record: the record, then the other files.
    void PutInPlace(Entry& entry, const DocumentRecord& current, const OpenFolder& folder);
    void FlusherLoop();

    std::filesystem::path folder_;
    DocumentTable& table_;
    ImageOf imageOf_;
    AfterRecord afterRecord_;

    std::mutex commitLock_;        // one batch at a time, in the order they were taken
    bool journalApplied_ = false;  // under commitLock_: a journal is left for SettleLocked
    std::thread settler_;
    std::mutex queueLock_;
    std::condition_variable queued_;
    std::vector<Entry> queue_;
    std::unordered_map<size_t, int> unsettled_;  // slot -> entries queued or being committed
    bool stopping_ = false;
    std::thread flusher_;  // started with the first queued entry
};

}  // namespace wardlet
