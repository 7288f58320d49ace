#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wardlet {

enum class DocumentType : int32_t { WebPage = 0, WebFile = 1, FtpFile = 2, LocalFile = 3 };

enum class DocumentStatus : int32_t {
    Checked = 0,
    Retrieving = 1,
    Changed = 2,
    Unavailable = 3,
    Waiting = 4,
    Ready = 5,
};

// Everything known about one document. The same 4632 bytes are a table slot, the editor's staged
// record and the document's ".data" file. Text fields are zero-terminated inside their field;
// a field read from disk may lack the terminator, so read them with FieldText().
struct DocumentRecord {
    int32_t type;
    char location[512];
    char name[512];
    int32_t useAccount;
    char userName[512];
    char password[512];
    char lastCheck[512];
    int32_t status;
    int32_t useCount;
    int32_t lastCount;
    char countString[512];
    int32_t useMiddle;
    char middleStart[1024];  // only the first 512 bytes are used
    char middleEnd[512];
};
static_assert(sizeof(DocumentRecord) == 4632);
static_assert(offsetof(DocumentRecord, type) == 0);
static_assert(offsetof(DocumentRecord, location) == 4);
static_assert(offsetof(DocumentRecord, name) == 516);
static_assert(offsetof(DocumentRecord, useAccount) == 1028);
static_assert(offsetof(DocumentRecord, userName) == 1032);
static_assert(offsetof(DocumentRecord, password) == 1544);
static_assert(offsetof(DocumentRecord, lastCheck) == 2056);
static_assert(offsetof(DocumentRecord, status) == 2568);
static_assert(offsetof(DocumentRecord, useCount) == 2572);
static_assert(offsetof(DocumentRecord, lastCount) == 2576);
static_assert(offsetof(DocumentRecord, countString) == 2580);
static_assert(offsetof(DocumentRecord, useMiddle) == 3092);
static_assert(offsetof(DocumentRecord, middleStart) == 3096);
static_assert(offsetof(DocumentRecord, middleEnd) == 4120);

inline constexpr size_t kRecordSize = sizeof(DocumentRecord);
// The longest text a 512-byte field takes (the editor's input limit).
inline constexpr size_t kMaxFieldText = 511;

using RecordBytes = std::array<unsigned char, kRecordSize>;

RecordBytes ToBytes(const DocumentRecord& record);
DocumentRecord RecordFromBytes(const RecordBytes& bytes);

// List texts; any other code shows "Unknown".
std::string_view StatusText(int32_t status);
std::string_view TypeText(int32_t type);

// The status and type fields, typed. A stored value outside the enumeration stays as it is.
inline DocumentStatus StatusOf(const DocumentRecord& record) {
    return static_cast<DocumentStatus>(record.status);
}
inline void SetStatus(DocumentRecord& record, DocumentStatus status) {
    record.status = static_cast<int32_t>(status);
}
inline DocumentType TypeOf(const DocumentRecord& record) {
    return static_cast<DocumentType>(record.type);
}

// The time of the last check as the list and wardctl show it: "?" when never checked.
std::string_view LastCheckText(const DocumentRecord& record);

inline bool FlagOn(int32_t flag) {
    return flag == 1;
}

// The checking method of a web page: counting wins over the middle method when both flags are 1.
enum class CheckMethod { Simple, Count, Middle };
CheckMethod MethodOf(const DocumentRecord& record);

}  // namespace wardlet
