#include "monitor/model/record_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

#include "common/atomic_file.h"
#include "common/fd_io.h"
#include "monitor/model/document_record.h"

namespace wardlet {
namespace {

constexpr std::string_view kMagic = "WJR1";
constexpr size_t kHeaderSize = 12;  // magic, entry count, body length
constexpr size_t kTrailerSize = 8;  // checksum
// After the checksum, once the batch's rewrites are in: this, then the boot's id. Outside the
// checksum, so a mark cut short or from another boot only means the journal is written again.
constexpr std::string_view kAppliedMark = "WJRA";
// Zero gaps shorter than a run's own header are kept inside the run.
constexpr size_t kShortestGap = 8;

void Put16(std::string& out, size_t value) {
    out.push_back(static_cast<char>(value & 0xff));
    out.push_back(static_cast<char>((value >> 8) & 0xff));
}
void Put32(std::string& out, uint64_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}
void Put64(std::string& out, uint64_t value) {
    for (int shift = 0; shift < 64; shift += 8)
        out.push_back(static_cast<char>((value >> shift) & 0xff));
}

uint64_t Checksum(std::string_view bytes) {
    uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

// Reads little-endian integers from the front of `bytes`; nullopt once it runs out.
struct Reader {
    std::string_view bytes;
    std::optional<uint64_t> Take(size_t width) {
        if (bytes.size() < width) return std::nullopt;
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i)
            value |= uint64_t(static_cast<unsigned char>(bytes[i])) << (8 * i);
        bytes.remove_prefix(width);
        return value;
    }
    std::optional<std::string_view> TakeBytes(size_t n) {
        if (bytes.size() < n) return std::nullopt;
        std::string_view taken = bytes.substr(0, n);
        bytes.remove_prefix(n);
        return taken;
    }
};

// Only a record file directly inside the folder may be named.
bool IsRecordFileName(std::string_view name) {
    return name.size() > 5 && name.ends_with(".data") && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

// The first nonzero byte at or after `at`; whole zero words are skipped at once.
size_t SkipZeros(std::string_view image, size_t at) {
    uint64_t word = 0;
    while (at + sizeof word <= image.size() &&
           (memcpy(&word, image.data() + at, sizeof word), word == 0))
        at += sizeof word;
    while (at < image.size() && image[at] == '\0')
        ++at;
    return at;
}

// The end of the run that starts at `at`: the next stretch of kShortestGap zeros, or the end.
size_t RunEnd(std::string_view image, size_t at) {
    for (;;) {
        const void* zero = memchr(image.data() + at, 0, image.size() - at);
        if (!zero) return image.size();
        size_t gap = static_cast<size_t>(static_cast<const char*>(zero) - image.data());
        size_t next = SkipZeros(image, gap);
        if (next - gap >= kShortestGap || next == image.size()) return gap;
        at = next;
    }
}

void EncodeImage(std::string& out, std::string_view image) {
    std::vector<std::pair<size_t, size_t>> runs;  // offset, length
    for (size_t at = SkipZeros(image, 0); at < image.size();) {
        size_t end = RunEnd(image, at);
        runs.emplace_back(at, end - at);
        at = SkipZeros(image, end);
    }
    Put16(out, image.size());
    Put16(out, runs.size());
    for (const auto& [offset, length] : runs) {
        Put16(out, offset);
        Put16(out, length);
        out.append(image.substr(offset, length));
    }
}

std::optional<std::string> DecodeImage(Reader& in) {
    auto size = in.Take(2);
    auto count = in.Take(2);
    if (!size || !count || *size != kRecordSize) return std::nullopt;
    std::string image(*size, '\0');
    for (uint64_t r = 0; r < *count; ++r) {
        auto offset = in.Take(2);
        auto length = in.Take(2);
        if (!offset || !length || *offset + *length > image.size()) return std::nullopt;
        auto bytes = in.TakeBytes(*length);
        if (!bytes) return std::nullopt;
        image.replace(*offset, *length, *bytes);
    }
    return image;
}

std::filesystem::path JournalOf(const std::filesystem::path& folder) {
    return folder / kRecordJournalFile;
}

// The id the kernel gives this boot of the machine; empty when it cannot be read.
const std::string& BootId() {
    static const std::string id = [] {
        std::string text = ReadSystemFile("/proc/sys/kernel/random/boot_id").value_or("");
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text;
    }();
    return id;
}

// True when `bytes` are exactly one journal, its header's length and its checksum right.
bool IsWholeJournal(std::string_view bytes) {
    if (bytes.size() < kHeaderSize + kTrailerSize || bytes.substr(0, 4) != kMagic) return false;
    Reader header{bytes.substr(8, 4)};
    uint64_t bodySize = *header.Take(4);
    if (bytes.size() != kHeaderSize + bodySize + kTrailerSize) return false;
    Reader trailer{bytes.substr(kHeaderSize + bodySize)};
    return *trailer.Take(8) == Checksum(bytes.substr(0, kHeaderSize + bodySize));
}

// The journal proper within a file's bytes (its header gives its length) and what follows it.
std::pair<std::string_view, std::string_view> SplitMark(std::string_view bytes) {
    if (bytes.size() < kHeaderSize + kTrailerSize || bytes.substr(0, 4) != kMagic)
        return {bytes, {}};
    Reader header{bytes.substr(8, 4)};
    size_t size = kHeaderSize + *header.Take(4) + kTrailerSize;
    if (bytes.size() < size) return {bytes, {}};
    return {bytes.substr(0, size), bytes.substr(size)};
}

}  // namespace

void RecordJournalBuilder::Add(std::string_view fileName, std::string_view image) {
    Put16(body_, fileName.size());
    body_.append(fileName);
    EncodeImage(body_, image);
    ++count_;
}

void RecordJournalBuilder::Append(const RecordJournalBuilder& other) {
    body_.append(other.body_);
    count_ += other.count_;
}

std::string RecordJournalBuilder::Bytes() const {
    std::string out(kMagic);
    Put32(out, count_);
    Put32(out, body_.size());
    out.append(body_);
    Put64(out, Checksum(out));
    return out;
}

std::string EncodeRecordJournal(const std::vector<JournalEntry>& entries) {
    RecordJournalBuilder builder;
    for (const auto& entry : entries)
        builder.Add(entry.fileName, entry.image);
    return builder.Bytes();
}

std::vector<JournalEntry> DecodeRecordJournal(std::string_view bytes) {
    if (!IsWholeJournal(bytes)) return {};
    Reader header{bytes.substr(4, 8)};
    uint64_t count = *header.Take(4);
    uint64_t bodySize = *header.Take(4);

    Reader in{bytes.substr(kHeaderSize, bodySize)};
    std::vector<JournalEntry> entries;
    for (uint64_t e = 0; e < count; ++e) {
        auto nameSize = in.Take(2);
        if (!nameSize) return {};
        auto name = in.TakeBytes(*nameSize);
        if (!name || !IsRecordFileName(*name)) return {};
        auto image = DecodeImage(in);
        if (!image) return {};
        entries.push_back({std::string(*name), std::move(*image)});
    }
    if (!in.bytes.empty()) return {};
    return entries;
}

bool WriteRecordJournal(const std::filesystem::path& folder, std::string_view bytes) {
    std::filesystem::path file = JournalOf(folder);
    UniqueFd fd = OpenDataFile(file, DataFileMode::Rewrite);
    bool created = !fd.valid() && errno == ENOENT;
    if (created) fd = OpenDataFile(file, DataFileMode::CreateNew, 0600);
    if (!fd.valid()) return false;
    if (!WriteAll(fd.get(), bytes) || fdatasync(fd.get()) != 0) {
        unlink(file.c_str());  // no whole journal: nothing is rewritten by it
        return false;
    }
    // A journal that a crash could lose with its folder entry would mend nothing.
    if (created) SyncFolderOf(file);
    return true;
}

std::vector<JournalEntry> ReadRecordJournal(const std::filesystem::path& folder) {
    std::optional<std::string> bytes = ReadDataFile(JournalOf(folder));
    // Whatever follows a whole journal (its mark, or a mark cut short) leaves it whole.
    return bytes ? DecodeRecordJournal(SplitMark(*bytes).first) : std::vector<JournalEntry>{};
}

bool MarkRecordJournalApplied(const std::filesystem::path& folder, size_t journalSize) {
    if (BootId().empty()) return false;
    std::string mark(kAppliedMark);
    mark += BootId();
    return RewriteFileRange(JournalOf(folder), journalSize, mark);
}

bool RecordJournalAppliedThisBoot(const std::filesystem::path& folder) {
    if (BootId().empty()) return false;
    std::optional<std::string> bytes = ReadDataFile(JournalOf(folder));
    if (!bytes) return false;
    auto [journal, mark] = SplitMark(*bytes);
    // The checksum alone says the journal is whole; its images need not be decoded.
    return mark == std::string(kAppliedMark) + BootId() && IsWholeJournal(journal);
}

void ClearRecordJournal(const std::filesystem::path& folder) {
    // Emptied durably first, so a crash that brings the removed file back brings nothing to redo.
    UniqueFd fd = OpenDataFile(JournalOf(folder), DataFileMode::Rewrite);
    if (fd.valid()) fdatasync(fd.get());
    unlink(JournalOf(folder).c_str());
}

void RemoveRecordJournal(const std::filesystem::path& folder) {
    if (unlink(JournalOf(folder).c_str()) == 0) SyncFolderOf(JournalOf(folder));
}

size_t FinishInterruptedRewrites(const std::filesystem::path& folder) {
    struct stat st {};
    if (lstat(JournalOf(folder).c_str(), &st) != 0) return 0;
    size_t written = 0;
    for (const auto& entry : ReadRecordJournal(folder)) {
        std::filesystem::path file = folder / entry.fileName;
        // A record deleted meanwhile stays deleted; only a record file is written.
        struct stat record {};
        if (lstat(file.c_str(), &record) != 0 || !S_ISREG(record.st_mode) ||
            record.st_size != static_cast<off_t>(entry.image.size()))
            continue;
        if (RewriteFileRange(file, 0, entry.image)) ++written;
    }
    if (written > 0) FlushFileSystemOf(JournalOf(folder));
    RemoveRecordJournal(folder);
    return written;
}

}  // namespace wardlet
