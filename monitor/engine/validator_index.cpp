#include "monitor/engine/validator_index.h"

#include <sys/stat.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "common/atomic_file.h"
#include "common/debug_log.h"
#include "common/fd_io.h"
#include "common/little_endian.h"

namespace wardlet {

using nlohmann::json;

namespace {

constexpr int kIndexVersion = 1;

std::filesystem::path IndexFile(const DocumentStore& store) {
    return store.dataFolder() / kValidatorIndexFileName;
}

void Mix(uint64_t& hash, std::string_view bytes) {
    // FNV-1a, with the length first so that neighbouring fields cannot trade bytes.
    for (size_t i = 0; i < sizeof(uint64_t); ++i)
        hash = (hash ^ ((bytes.size() >> (8 * i)) & 0xff)) * 0x100000001b3ULL;
    for (unsigned char c : bytes)
        hash = (hash ^ c) * 0x100000001b3ULL;
}

void Mix(uint64_t& hash, int32_t value) {
    Mix(hash, std::to_string(value));
}

bool ReadEntry(const json& value, uint64_t& fingerprint, CopyIdentity& copy,
               ValidatorIndex::Validators& validators) {
    if (!value.is_object()) return false;
    auto unsignedField = [&](const char* key, uint64_t& out) {
        auto found = value.find(key);
        if (found == value.end() || !found->is_number_unsigned()) return false;
        out = found->get<uint64_t>();
        return true;
    };
    auto textField = [&](const char* key, std::string& out) {
        auto found = value.find(key);
        if (found == value.end() || !found->is_string()) return false;
        out = found->get<std::string>();
        return true;
    };
    auto modified = value.find("modifiedNs");
    if (modified == value.end() || !modified->is_number_integer()) return false;
    copy.modifiedNs = modified->get<int64_t>();
    return unsignedField("fingerprint", fingerprint) && unsignedField("size", copy.size) &&
           unsignedField("inode", copy.inode) && textField("etag", validators.etag) &&
           textField("lastModified", validators.lastModified);
}

}  // namespace

std::optional<CopyIdentity> IdentifyCopy(const std::filesystem::path& file) {
    struct stat info;
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    CopyIdentity copy;
    copy.size = static_cast<uint64_t>(info.st_size);
    copy.inode = static_cast<uint64_t>(info.st_ino);
    copy.modifiedNs = int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    return copy;
}

uint64_t ComparisonFingerprint(const DocumentRecord& record) {
    uint64_t hash = 0xcbf29ce484222325ULL;
    Mix(hash, record.type);
    Mix(hash, FieldText(record.location));
    Mix(hash, record.useCount);
    Mix(hash, record.useMiddle);
    Mix(hash, FieldText(record.countString));
    Mix(hash, std::string_view(record.middleStart, strnlen(record.middleStart, 512)));
    Mix(hash, FieldText(record.middleEnd));
    return hash;
}

ValidatorIndex::ValidatorIndex(const DocumentStore& store) : store_(store) {}

void ValidatorIndex::LoadLocked() {
    if (loaded_) return;
    loaded_ = true;
    std::optional<std::string> text = ReadDataFile(IndexFile(store_));
    if (!text) return;
    json index = json::parse(*text, nullptr, /*allow_exceptions=*/false);
    auto documents = index.is_object() ? index.find("documents") : index.end();
    if (!index.is_object() || index.value("version", 0) != kIndexVersion ||
        documents == index.end() || !documents->is_object()) {
        // Only a cost: every web document is fetched whole once more.
        DebugLog("Wardlet.validators is not readable; the next checks fetch whole bodies");
        return;
    }
    for (const auto& [name, value] : documents->items()) {
        Entry entry;
        if (ReadEntry(value, entry.fingerprint, entry.copy, entry.validators))
            entries_[name] = std::move(entry);
    }
}

void ValidatorIndex::Preload() {
    std::lock_guard guard(lock_);
    LoadLocked();
}

std::optional<ValidatorIndex::Validators> ValidatorIndex::Find(const std::string& name,
                                                               uint64_t fingerprint,
                                                               const CopyIdentity& copy) {
    std::lock_guard guard(lock_);
    LoadLocked();
    auto found = entries_.find(name);
    if (found == entries_.end()) return std::nullopt;
    if (found->second.fingerprint != fingerprint || !(found->second.copy == copy)) {
        entries_.erase(found);  // they described a copy or a comparison that is gone
        dirty_ = true;
        return std::nullopt;
    }
    return found->second.validators;
}

void ValidatorIndex::Remember(const std::string& name, uint64_t fingerprint,
                              const CopyIdentity& copy, const Validators& validators) {
    std::lock_guard guard(lock_);
    LoadLocked();
    if (validators.empty()) {
        dirty_ = entries_.erase(name) > 0 || dirty_;
        return;
    }
    Entry& entry = entries_[name];
    if (entry.fingerprint == fingerprint && entry.copy == copy &&
        entry.validators.etag == validators.etag &&
        entry.validators.lastModified == validators.lastModified)
        return;
    entry = Entry{fingerprint, copy, validators};
    dirty_ = true;
}

void ValidatorIndex::Forget(const std::string& name) {
    std::lock_guard guard(lock_);
    LoadLocked();
    dirty_ = entries_.erase(name) > 0 || dirty_;
}

bool ValidatorIndex::changed() {
    std::lock_guard guard(lock_);
    return dirty_;
}

bool ValidatorIndex::Save() {
    std::lock_guard guard(lock_);
    if (!dirty_) return true;
    json documents = json::object();
    for (auto it = entries_.begin(); it != entries_.end();) {
        const Entry& entry = it->second;
        auto copy = IdentifyCopy(store_.ContentFile(it->first));
        if (!copy || !(*copy == entry.copy)) {
            it = entries_.erase(it);
            continue;
        }
        json value = {
            {"fingerprint", entry.fingerprint}, {"size", entry.copy.size},
            {"inode", entry.copy.inode},        {"modifiedNs", entry.copy.modifiedNs},
            {"etag", entry.validators.etag},    {"lastModified", entry.validators.lastModified}};
        try {
            // A name or a header that is not UTF-8 has no JSON form: that document is simply
            // fetched whole each time.
            (void)json(it->first).dump();
            (void)value.dump();
            documents[it->first] = std::move(value);
            ++it;
        } catch (const json::exception&) {
            it = entries_.erase(it);
        }
    }
    json index = {{"version", kIndexVersion}, {"documents", std::move(documents)}};
    if (!ReplaceFileAtomically(IndexFile(store_), index.dump())) {
        DebugLog("Wardlet.validators could not be written");
        return false;
    }
    dirty_ = false;
    return true;
}

}  // namespace wardlet
