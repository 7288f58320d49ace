// The record loader's pure half: bytes to record and back, the stored-name test and the account
// fields' stored form, on any 4632 bytes a ".data" file may hold.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/little_endian.h"
#include "fuzz_check.h"
#include "monitor/model/account_scramble.h"
#include "monitor/model/document_editor.h"
#include "monitor/model/document_record.h"
#include "monitor/model/document_store.h"

using namespace wardlet;

namespace {

// A decoded field is the n characters stored (n from byte 0, none when negative), then zeros.
void CheckDecodedField(const char (&decoded)[512], const char (&stored)[512]) {
    size_t n = std::max(0, static_cast<int>(static_cast<signed char>(stored[0])));
    FUZZ_REQUIRE(n <= kMaxAccountText);
    for (size_t i = n; i < sizeof decoded; ++i)
        FUZZ_REQUIRE(decoded[i] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    RecordBytes bytes{};
    memcpy(bytes.data(), data, size < bytes.size() ? size : bytes.size());

    DocumentRecord record = RecordFromBytes(bytes);
    FUZZ_REQUIRE(ToBytes(record) == bytes);
    FUZZ_REQUIRE(record.status == LoadLe32(bytes.data() + offsetof(DocumentRecord, status)));
    FUZZ_REQUIRE(!StatusText(record.status).empty() && !TypeText(record.type).empty());

    if (IsSafeStoredName(record)) {
        std::string_view name = FieldText(record.name);
        FUZZ_REQUIRE(FieldTerminated(record.name));
        FUZZ_REQUIRE(!name.empty() && name.size() <= kMaxNameBytes);
        FUZZ_REQUIRE(name.find_first_of(std::string_view("\\/:*?\"<>|\0", 10)) ==
                     std::string_view::npos);
        for (char c : name)
            FUZZ_REQUIRE(static_cast<unsigned char>(c) >= 0x20);
    }

    DocumentRecord decoded = record;
    DecodeAccount(decoded);
    CheckDecodedField(decoded.userName, record.userName);
    CheckDecodedField(decoded.password, record.password);
    // Only the account fields change.
    FUZZ_REQUIRE(memcmp(&decoded, &record, offsetof(DocumentRecord, userName)) == 0);
    FUZZ_REQUIRE(memcmp(&decoded.lastCheck, &record.lastCheck,
                        sizeof record - offsetof(DocumentRecord, lastCheck)) == 0);

    // Whatever was decoded is stored and read back unchanged; filler stays within 32..125.
    DocumentRecord stored = decoded;
    EncodeAccount(stored, static_cast<std::time_t>(size));
    for (const char* field : {stored.userName, stored.password})
        for (size_t i = 1; i < 512; ++i)
            if ((i - 1) % 4 != 0 || (i - 1) / 4 >= static_cast<size_t>(field[0]))
                FUZZ_REQUIRE(field[i] >= 32 && field[i] <= 125);
    DocumentRecord again = stored;
    DecodeAccount(again);
    // A zero byte among the stored characters ends the value.
    DocumentRecord expected = decoded;
    for (char* field : {expected.userName, expected.password}) {
        size_t length = strnlen(field, 512);
        memset(field + length, 0, 512 - length);
    }
    FUZZ_REQUIRE(memcmp(&again, &expected, sizeof again) == 0);
    return 0;
}
