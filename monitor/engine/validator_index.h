#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "monitor/model/document_record.h"
#include "monitor/model/document_store.h"

namespace wardlet {

inline constexpr const char* kValidatorIndexFileName = "Wardlet.validators";

// What tells one stored copy from any other that could take its name: a copy edited, replaced,
// deleted and fetched again has another inode, size or modification time.
struct CopyIdentity {
    uint64_t size = 0;
    uint64_t inode = 0;
    int64_t modifiedNs = 0;
    bool operator==(const CopyIdentity&) const = default;
};
std::optional<CopyIdentity> IdentifyCopy(const std::filesystem::path& file);

// The fields of a record that decide what its check compares; validators of another value do
// not describe its stored copy.
uint64_t ComparisonFingerprint(const DocumentRecord& record);

// The ETag and Last-Modified of the answer each stored web copy came from, so its next check can
// ask for the body only when it changed. One small file of the data folder ("Wardlet.validators",
// JSON), read at the first lookup and written whole, atomically, by Save when something changed:
// one write per pass, never one per check. An entry is honoured only while the document's stored
// copy and comparison fields are still those it was recorded with, so an edit, a deleted or
// replaced copy or a rename simply makes the next check fetch the whole body. Thread-safe.
class ValidatorIndex {
public:
    struct Validators {
        std::string etag;
        std::string lastModified;
        bool empty() const { return etag.empty() && lastModified.empty(); }
    };

    explicit ValidatorIndex(const DocumentStore& store);

    // The validators of document `name` when they still belong to `copy` and `fingerprint`.
    std::optional<Validators> Find(const std::string& name, uint64_t fingerprint,
                                   const CopyIdentity& copy);
    // Records (or with empty validators forgets) what the stored copy of `name` came with.
    void Remember(const std::string& name, uint64_t fingerprint, const CopyIdentity& copy,
                  const Validators& validators);
    void Forget(const std::string& name);
    // Reads the index now rather than at the first lookup.
    void Preload();
    // Writes the index when it changed since it was read or last saved, without the entries whose
    // stored copy went meanwhile. False when the write failed (the entries stay for the next try).
    [[nodiscard]] bool Save();
    bool changed();  // Save has something to write

private:
    struct Entry {
        uint64_t fingerprint = 0;
        CopyIdentity copy;
        Validators validators;
    };
    void LoadLocked();

    const DocumentStore& store_;
    std::mutex lock_;
    bool loaded_ = false;
    bool dirty_ = false;
    std::map<std::string, Entry> entries_;
};

}  // namespace wardlet
