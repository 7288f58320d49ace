#pragma once

#include <ctime>

#include "monitor/model/document_record.h"

namespace wardlet {

// The stored form of the account fields holds at most this many characters per field.
inline constexpr size_t kMaxAccountText = 127;

// Scrambles userName and password into their stored form: filler characters 32..125 from a
// generator seeded with `now`, the length in byte 0, the reversed value at bytes 1, 5, 9, ...
// Values longer than 127 characters cannot be stored; the editor refuses them, and here they are
// cut so the field is never overrun.
void EncodeAccount(DocumentRecord& record, std::time_t now = std::time(nullptr));

// Turns the stored form back into plain text. An all-zero field decodes to an empty value.
void DecodeAccount(DocumentRecord& record);

}  // namespace wardlet
