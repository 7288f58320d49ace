#include "monitor/model/document_record.h"

#include <cstring>

#include "common/little_endian.h"

namespace wardlet {
namespace {

constexpr size_t kIntFields[] = {
    offsetof(DocumentRecord, type),      offsetof(DocumentRecord, useAccount),
    offsetof(DocumentRecord, status),    offsetof(DocumentRecord, useCount),
    offsetof(DocumentRecord, lastCount), offsetof(DocumentRecord, useMiddle),
};

}  // namespace

RecordBytes ToBytes(const DocumentRecord& record) {
    RecordBytes bytes;
    memcpy(bytes.data(), &record, kRecordSize);
    for (size_t offset : kIntFields) {
        int32_t value;
        memcpy(&value, reinterpret_cast<const unsigned char*>(&record) + offset, sizeof value);
        StoreLe32(bytes.data() + offset, value);
    }
    return bytes;
}

DocumentRecord RecordFromBytes(const RecordBytes& bytes) {
    DocumentRecord record;
    memcpy(&record, bytes.data(), kRecordSize);
    for (size_t offset : kIntFields) {
        int32_t value = LoadLe32(bytes.data() + offset);
        memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &value, sizeof value);
    }
    return record;
}

std::string_view LastCheckText(const DocumentRecord& record) {
    std::string_view text = FieldText(record.lastCheck);
    return text.empty() ? std::string_view("?") : text;
}

std::string_view StatusText(int32_t status) {
    switch (status) {
        case 0:
            return "Checked";
        case 1:
            return "Retrieving...";
        case 2:
            return "** Changed";
        case 3:
            return "** Unable to retrieve";
        case 4:
            return "Waiting to retrieve...";
        case 5:
            return "Ready";
        default:
            return "Unknown";
    }
}

std::string_view TypeText(int32_t type) {
    switch (type) {
        case 0:
            return "Web Page";
        case 1:
            return "Web File";
        case 2:
            return "FTP File";
        case 3:
            return "Local File";
        default:
            return "Unknown";
    }
}

CheckMethod MethodOf(const DocumentRecord& record) {
    if (FlagOn(record.useCount)) return CheckMethod::Count;
    if (FlagOn(record.useMiddle)) return CheckMethod::Middle;
    return CheckMethod::Simple;
}

}  // namespace wardlet
