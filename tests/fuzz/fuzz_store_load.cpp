// Start-up load of one ".data" file holding any bytes: it is a document exactly when it is one
// record long with a safe name, and then the table holds it with its account fields decoded (and
// a stored Retrieving as Waiting).
#include <cstring>

#include "common/little_endian.h"
#include "fuzz_check.h"
#include "monitor/model/account_scramble.h"
#include "monitor/model/document_store.h"

using namespace wardlet;

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    const auto& folder = fuzz::ScratchFolder();
    fuzz::WriteWholeFile(folder / "fuzzed.data", fuzz::AsText(data, size));

    DocumentTable table;
    DocumentStore store(folder, table);
    DocumentStore::LoadReport report = store.LoadAllDocuments();

    bool oneRecord = size == kRecordSize;
    DocumentRecord expected{};
    if (oneRecord) {
        RecordBytes bytes;
        memcpy(bytes.data(), data, kRecordSize);
        expected = RecordFromBytes(bytes);
    }
    bool loadable = oneRecord && IsSafeStoredName(expected);
    FUZZ_REQUIRE(report.loaded == (loadable ? 1u : 0u));
    FUZZ_REQUIRE(report.refused.size() == (loadable ? 0u : 1u));
    size_t used = 0;
    for (size_t i = 0; i < table.size(); ++i)
        if (!table.IsFree(i)) ++used;
    FUZZ_REQUIRE(used == report.loaded);
    if (!loadable) {
        FUZZ_REQUIRE(table.size() == 0);
        return 0;
    }
    DecodeAccount(expected);
    // Nothing is being retrieved at start: a record stored as Retrieving waits for the next pass.
    if (expected.status == static_cast<int32_t>(DocumentStatus::Retrieving))
        expected.status = static_cast<int32_t>(DocumentStatus::Waiting);
    DocumentRecord loaded = table.Get(0);
    FUZZ_REQUIRE(memcmp(&loaded, &expected, sizeof loaded) == 0);
    FUZZ_REQUIRE(table.Name(0) == FieldText(expected.name));
    // The name builds only paths inside the data folder.
    FUZZ_REQUIRE(store.DataFile(FieldText(loaded.name)).parent_path() == folder);
    return 0;
}
