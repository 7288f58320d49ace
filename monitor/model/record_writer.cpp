#include "monitor/model/record_writer.h"

#include <unistd.h>

#include <cstdio>

#include "common/atomic_file.h"
#include "common/debug_log.h"

namespace wardlet {
namespace {

std::function<void()>& BeforeMovesHook() {
    static std::function<void()> hook;
    return hook;
}

void Discard(const std::vector<FileMove>& moves) {
    for (const auto& move : moves)
        unlink(move.fresh.c_str());
}

}  // namespace

void RecordWriter::SetBeforeMovesHookForTesting(std::function<void()> hook) {
    BeforeMovesHook() = std::move(hook);
}

RecordWriter::RecordWriter(DocumentTable& table, ImageOf imageOf, AfterRecord afterRecord)
    : table_(table), imageOf_(std::move(imageOf)), afterRecord_(std::move(afterRecord)) {}

RecordWriter::~RecordWriter() {
    {
        std::lock_guard guard(queueLock_);
        stopping_ = true;
    }
    queued_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    Flush();
}

void RecordWriter::Queue(size_t index, uint64_t generation, bool record,
                         std::vector<FileMove> moves, bool* written) {
    if (!record && moves.empty()) return;
    {
        std::lock_guard guard(queueLock_);
        queue_.push_back({index, generation, record, std::move(moves), written});
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

void RecordWriter::FlushSlot(size_t index) {
    {
        std::lock_guard guard(queueLock_);
        if (unsettled_.find(index) == unsettled_.end()) return;
    }
    Flush();
}

void RecordWriter::FlushLocked(std::unique_lock<std::mutex>&) {
    std::vector<Entry> entries;
    {
        std::lock_guard guard(queueLock_);
        entries.swap(queue_);
    }
    if (entries.empty()) return;
    Commit(entries);
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

void RecordWriter::Commit(std::vector<Entry>& entries) {
    // The records as they are now, each written beside its file.
    std::filesystem::path anyFile;
    for (auto& entry : entries) {
        if (!entry.record) continue;
        DocumentRecord record;
        std::optional<RecordFile> image;
        if (table_.GetIfGeneration(entry.index, entry.generation, record)) image = imageOf_(record);
        std::optional<std::filesystem::path> fresh;
        if (image) fresh = WriteFileBeside(image->path, image->bytes, image->mode);
        if (!fresh) {
            // Without its record a new copy must not go in: the change it carries would be lost.
            Discard(entry.moves);
            entry.moves.clear();
            entry.record = false;
            continue;
        }
        entry.moves.insert(entry.moves.begin(), FileMove{*fresh, image->path});
    }
    for (const auto& entry : entries)
        if (!entry.moves.empty()) anyFile = entry.moves.front().fresh;
    if (anyFile.empty()) return;
    FlushFileSystemOf(anyFile);
    if (BeforeMovesHook()) BeforeMovesHook()();

    for (auto& entry : entries) {
        if (entry.moves.empty()) continue;
        bool current = table_.Publish(entry.index, entry.generation, [&](DocumentRecord&) {
            for (size_t i = 0; i < entry.moves.size(); ++i) {
                const FileMove& move = entry.moves[i];
                if (rename(move.fresh.c_str(), move.target.c_str()) != 0) {
                    DebugLog("cannot move " + move.fresh.string() + " to " + move.target.string());
                    unlink(move.fresh.c_str());
                    if (i == 0 && entry.record) {
                        // The record did not go in, so neither may the rest.
                        Discard({entry.moves.begin() + 1, entry.moves.end()});
                        return;
                    }
                    continue;
                }
                if (i == 0 && entry.record) {
                    if (entry.written) *entry.written = true;
                    if (afterRecord_) afterRecord_(entry.index, move.target);
                }
            }
        });
        if (!current) Discard(entry.moves);  // edited or deleted meanwhile
    }
    SyncFolderOf(anyFile);
}

}  // namespace wardlet
