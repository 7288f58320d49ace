#include "monitor/model/document_table.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "common/little_endian.h"

namespace wardlet {

namespace {

template <typename Slot>
Slot* NewChunk() {
    static_assert(DocumentTable::kChunkSlots * sizeof(Slot) <= DocumentTable::kChunkBytes);
    void* memory = std::aligned_alloc(DocumentTable::kChunkBytes, DocumentTable::kChunkBytes);
    if (!memory) throw std::bad_alloc();
    // Only advice: without huge pages the chunk is faulted in page by page as before.
    madvise(memory, DocumentTable::kChunkBytes, MADV_HUGEPAGE);
    Slot* slots = static_cast<Slot*>(memory);
    for (size_t i = 0; i < DocumentTable::kChunkSlots; ++i)
        new (&slots[i]) Slot();
    return slots;
}

template <typename Slot>
void DeleteChunk(Slot* slots) {
    if (!slots) return;
    for (size_t i = 0; i < DocumentTable::kChunkSlots; ++i)
        slots[i].~Slot();
    std::free(slots);
}

}  // namespace

DocumentTable::DocumentTable() : chunks_(new std::atomic<Slot*>[kMaxChunks]) {
    for (size_t i = 0; i < kMaxChunks; ++i)
        chunks_[i].store(nullptr, std::memory_order_relaxed);
}

DocumentTable::~DocumentTable() {
    for (size_t i = 0; i < kMaxChunks; ++i)
        DeleteChunk(chunks_[i].load(std::memory_order_relaxed));
}

DocumentTable::Slot& DocumentTable::SlotAt(size_t index) const {
    if (index >= size()) throw std::out_of_range("document slot out of range");
    Slot* chunk = chunks_[index / kChunkSlots].load(std::memory_order_acquire);
    return chunk[index % kChunkSlots];
}

DocumentRecord DocumentTable::Get(size_t index) const {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    return slot.record;
}

bool DocumentTable::IsFree(size_t index) const {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    return slot.record.name[0] == '\0';
}

std::string DocumentTable::Name(size_t index) const {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    return std::string(FieldText(slot.record.name));
}

size_t DocumentTable::FindByName(std::string_view name) const {
    std::lock_guard guard(nameLock_);
    auto found = byName_.find(name);
    return found == byName_.end() ? kNoSlot : *found->second.begin();
}

size_t DocumentTable::CountNamed(std::string_view name) const {
    std::lock_guard guard(nameLock_);
    auto found = byName_.find(name);
    return found == byName_.end() ? 0 : found->second.size();
}

void DocumentTable::IndexName(std::string_view name, size_t index, bool add) {
    if (name.empty()) return;
    std::lock_guard guard(nameLock_);
    if (add) {
        auto found = byName_.find(name);
        if (found == byName_.end())
            found = byName_.emplace(std::string(name), std::set<size_t>{}).first;
        found->second.insert(index);
        return;
    }
    auto found = byName_.find(name);
    if (found == byName_.end()) return;
    found->second.erase(index);
    if (found->second.empty()) byName_.erase(found);
}

void DocumentTable::ChangeLocked(Slot& slot, size_t index,
                                 const std::function<void(DocumentRecord&)>& change) {
    char before[sizeof slot.record.name];
    memcpy(before, slot.record.name, sizeof before);
    change(slot.record);
    if (memcmp(before, slot.record.name, sizeof before) == 0) return;
    IndexName(FieldText(before), index, false);
    IndexName(FieldText(slot.record.name), index, true);
}

void DocumentTable::Modify(size_t index, const std::function<void(DocumentRecord&)>& change) {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    ChangeLocked(slot, index, change);
}

void DocumentTable::Replace(size_t index, const DocumentRecord& record) {
    std::lock_guard grow(growLock_);
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    ChangeLocked(slot, index, [&](DocumentRecord& r) { r = record; });
    ++slot.generation;
    if (record.name[0] == '\0') NoteFreedLocked(index);
}

void DocumentTable::Clear(size_t index) {
    std::lock_guard grow(growLock_);
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    ChangeLocked(slot, index, [](DocumentRecord& r) { memset(&r, 0, sizeof r); });
    ++slot.generation;
    NoteFreedLocked(index);
}

void DocumentTable::NoteFreedLocked(size_t index) {
    if (index < freeHint_) freeHint_ = index;
}

size_t DocumentTable::AppendSlotLocked() {
    size_t index = size();
    size_t chunk = index / kChunkSlots;
    if (chunk >= kMaxChunks) return kNoSlot;
    if (!chunks_[chunk].load(std::memory_order_relaxed))
        chunks_[chunk].store(NewChunk<Slot>(), std::memory_order_release);
    size_.store(index + 1, std::memory_order_release);
    return index;
}

size_t DocumentTable::FindFreeSlotLocked() {
    // Slots below the hint are all named, so loading many records stays linear.
    for (size_t i = freeHint_, n = size(); i < n; ++i) {
        if (IsFree(i)) {
            freeHint_ = i;
            return i;
        }
    }
    freeHint_ = size();
    return AppendSlotLocked();
}

size_t DocumentTable::FindFreeSlot() {
    std::lock_guard grow(growLock_);
    return FindFreeSlotLocked();
}

size_t DocumentTable::Add(const DocumentRecord& record) {
    std::lock_guard grow(growLock_);
    size_t index = FindFreeSlotLocked();
    if (index == kNoSlot) return index;
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    ChangeLocked(slot, index, [&](DocumentRecord& r) { r = record; });
    ++slot.generation;
    if (record.name[0] != '\0') freeHint_ = index + 1;
    return index;
}

bool DocumentTable::IsWaiting(size_t index) const {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    return StatusOf(slot.record) == DocumentStatus::Waiting;
}

bool DocumentTable::WaitingLocation(size_t index, int32_t& type, std::string& location) const {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    if (StatusOf(slot.record) != DocumentStatus::Waiting) return false;
    type = slot.record.type;
    location.assign(FieldText(slot.record.location));
    return true;
}

bool DocumentTable::TryClaim(size_t index, DocumentRecord& copy, uint64_t& generation) {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    if (StatusOf(slot.record) != DocumentStatus::Waiting) return false;
    SetStatus(slot.record, DocumentStatus::Retrieving);
    copy = slot.record;
    generation = slot.generation;
    return true;
}

bool DocumentTable::Publish(size_t index, uint64_t generation,
                            const std::function<void(DocumentRecord&)>& results) {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    if (slot.generation != generation) return false;
    ChangeLocked(slot, index, results);
    return true;
}

bool DocumentTable::GetIfGeneration(size_t index, uint64_t generation, DocumentRecord& copy) const {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    if (slot.generation != generation) return false;
    copy = slot.record;
    return true;
}

uint64_t DocumentTable::Generation(size_t index) const {
    Slot& slot = SlotAt(index);
    std::lock_guard guard(slot.lock);
    return slot.generation;
}

}  // namespace wardlet
