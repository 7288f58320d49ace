#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// Records are rewritten in place, since a new file per record per pass costs the file system
// far more than the fetches. A rewrite torn by a crash is mended from this journal: the new
// images of one batch are written here and made durable before any record is touched, and the
// journal is emptied once every rewrite of the batch is durable too.
inline constexpr char kRecordJournalFile[] = "Wardlet.journal";

struct JournalEntry {
    std::string fileName;  // a ".data" file of the data folder
    std::string image;     // its whole new content, one record
};

// Builds the journal's bytes as entries come: a header, the entries with the zero runs of their
// images left out (a record is mostly zeros), and a checksum over everything before it.
class RecordJournalBuilder {
public:
    void Add(std::string_view fileName, std::string_view image);
    // Takes over the entries of another builder.
    void Append(const RecordJournalBuilder& other);
    bool empty() const { return count_ == 0; }
    std::string Bytes() const;

private:
    std::string body_;
    size_t count_ = 0;
};
std::string EncodeRecordJournal(const std::vector<JournalEntry>& entries);
// The entries of a whole journal; empty when it is empty, cut short, damaged, or names a file
// outside the folder or of another kind.
std::vector<JournalEntry> DecodeRecordJournal(std::string_view bytes);

// Replaces the journal of `folder` with `bytes` (from the builder) and makes it durable; false
// when it could not, and then nothing may be rewritten.
[[nodiscard]] bool WriteRecordJournal(const std::filesystem::path& folder, std::string_view bytes);
// The entries of the journal of `folder`, when it holds a whole one.
std::vector<JournalEntry> ReadRecordJournal(const std::filesystem::path& folder);
// Empties the journal durably and removes it: the rewrites it covered are durable.
void ClearRecordJournal(const std::filesystem::path& folder);
// Removes the journal file; its rewrites are durable or it is no whole journal.
void RemoveRecordJournal(const std::filesystem::path& folder);

// The last batch of a program need not wait for its rewrites to reach the disk: its journal,
// durable already, can redo them. Once every rewrite of it is in, the journal of `folder`
// (`journalSize` bytes, as written) is marked with the machine's boot; false when it could not
// be, and then the rewrites must be made durable and the journal cleared as usual.
[[nodiscard]] bool MarkRecordJournalApplied(const std::filesystem::path& folder,
                                            size_t journalSize);
// True when the journal of `folder` is whole and marked on this boot: every rewrite it holds is
// in the files (the page cache keeps them until the disk does), so a start need only make them
// durable before the journal goes. After a crash of the machine the mark names another boot.
bool RecordJournalAppliedThisBoot(const std::filesystem::path& folder);

// Start of a program that writes, with the data-folder lock held: a crash during a batch of
// rewrites is finished by writing the journal's images into the record files that are still
// there, then the journal goes. Returns how many records were written.
size_t FinishInterruptedRewrites(const std::filesystem::path& folder);

}  // namespace wardlet
