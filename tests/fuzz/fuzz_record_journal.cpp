// The record journal's reader on any bytes a "Wardlet.journal" file may hold: a journal it
// accepts names only record files inside the folder, holds whole records, and encodes back to
// the very bytes it came from.
#include <string>

#include "fuzz_check.h"
#include "monitor/model/document_record.h"
#include "monitor/model/record_journal.h"

using namespace wardlet;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::string_view bytes = fuzz::AsText(data, size);
    std::vector<JournalEntry> entries = DecodeRecordJournal(bytes);
    for (const auto& entry : entries) {
        FUZZ_REQUIRE(entry.image.size() == kRecordSize);
        FUZZ_REQUIRE(entry.fileName.ends_with(".data") && entry.fileName.size() > 5);
        FUZZ_REQUIRE(entry.fileName.find('/') == std::string::npos);
    }
    // What is accepted decodes again to the same entries once re-encoded.
    std::vector<JournalEntry> again = DecodeRecordJournal(EncodeRecordJournal(entries));
    FUZZ_REQUIRE(again.size() == entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        FUZZ_REQUIRE(again[i].fileName == entries[i].fileName &&
                     again[i].image == entries[i].image);
    return 0;
}
