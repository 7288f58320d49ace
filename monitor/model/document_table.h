#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "monitor/model/document_record.h"

namespace wardlet {

// All records of the run, addressed by slot index. A slot is free while its name is empty.
// Slots live in fixed-size chunks that are never moved or freed, so an index and the record
// behind it stay valid while the table grows. Each slot has its own short lock: the window and
// the check threads read copies and write through the calls below, never the raw record.
class DocumentTable {
public:
    static constexpr size_t kNoSlot = std::numeric_limits<size_t>::max();

    DocumentTable();
    ~DocumentTable();
    DocumentTable(const DocumentTable&) = delete;
    DocumentTable& operator=(const DocumentTable&) = delete;

    // Number of slots, free ones included.
    size_t size() const { return size_.load(std::memory_order_acquire); }

    DocumentRecord Get(size_t index) const;
    bool IsFree(size_t index) const;
    // The record's name alone, without copying the record.
    std::string Name(size_t index) const;

    // Lowest slot whose name equals `name` exactly; kNoSlot when none (or `name` is empty).
    // Answered from an index, so looking up every document stays linear in their number.
    size_t FindByName(std::string_view name) const;
    // How many slots carry exactly this name (two loaded files may hold the same one).
    size_t CountNamed(std::string_view name) const;

    // Runs `change` on the record under its slot lock. For small in-place changes (status,
    // last-check); replacing the record's identity goes through Replace.
    void Modify(size_t index, const std::function<void(DocumentRecord&)>& change);

    // Puts a new record into the slot (an edit). Results of a check that claimed the old record
    // are dropped when they arrive.
    void Replace(size_t index, const DocumentRecord& record);
    // Zeroes the slot; it becomes free.
    void Clear(size_t index);

    // Index of the first free slot, or a new zeroed slot at the end. kNoSlot when the table is
    // at its capacity.
    size_t FindFreeSlot();
    // FindFreeSlot and Replace in one step, so two adders never take the same slot.
    size_t Add(const DocumentRecord& record);

    // Check engine: whether the record waits for a check now, without copying it.
    bool IsWaiting(size_t index) const;
    // Check engine: the type and location of a record that waits; false when it does not.
    bool WaitingLocation(size_t index, int32_t& type, std::string& location) const;
    // Check engine: turns a Waiting record into Retrieving in one step and hands back a copy of
    // it with the slot's generation. False when the record was not Waiting.
    bool TryClaim(size_t index, DocumentRecord& copy, uint64_t& generation);
    // Applies a check's results when the slot still holds the record that was claimed; false
    // (and nothing changed) when it was edited or deleted meanwhile.
    bool Publish(size_t index, uint64_t generation,
                 const std::function<void(DocumentRecord&)>& results);
    // A copy of the record while the slot still has `generation`; false when it has not.
    bool GetIfGeneration(size_t index, uint64_t generation, DocumentRecord& copy) const;
    // The generation a slot has now (changes with every Replace and Clear).
    uint64_t Generation(size_t index) const;

    // Slots come in chunks of one huge page each (2 MiB), so that loading 10,000 records faults
    // in a few dozen pages rather than thousands. Capacity: 4096 chunks.
    static constexpr size_t kChunkBytes = size_t{2} << 20;
    static constexpr size_t kChunkSlots = 448;
    static constexpr size_t kMaxChunks = 4096;

private:
    struct Slot {
        mutable std::mutex lock;
        DocumentRecord record{};
        uint64_t generation = 0;
    };
    Slot& SlotAt(size_t index) const;
    size_t AppendSlotLocked();
    size_t FindFreeSlotLocked();
    void NoteFreedLocked(size_t index);
    // Runs `change` on the slot's record (its lock held) and keeps the name index in step.
    void ChangeLocked(Slot& slot, size_t index, const std::function<void(DocumentRecord&)>& change);
    void IndexName(std::string_view name, size_t index, bool add);

    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view name) const {
            return std::hash<std::string_view>{}(name);
        }
    };

    std::unique_ptr<std::atomic<Slot*>[]> chunks_;
    std::atomic<size_t> size_{0};
    std::mutex growLock_;  // serialises growth and the choice of a free slot
    size_t freeHint_ = 0;  // no slot below it is free (guarded by growLock_)
    // Name to the slots carrying it. Taken last, after any slot lock.
    mutable std::mutex nameLock_;
    std::unordered_map<std::string, std::set<size_t>, NameHash, std::equal_to<>> byName_;
};

}  // namespace wardlet
