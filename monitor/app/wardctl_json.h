#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "monitor/model/document_record.h"

namespace wardlet {

// "YYYY/MM/DD [hh:mm:ss]", a local time as the last-check column holds it, in ISO 8601 with the
// offset the local zone had then ("2026-12-09T02:10:00+01:00"); nullopt for any other text.
std::optional<std::string> IsoTimeOf(std::string_view stamp);

// Every field of the record, with the type and the status as both the number and the text and
// the last check in ISO 8601 (null when never checked) beside the stored text.
nlohmann::json RecordJson(const DocumentRecord& record);
// What ended a check: name, status (number and text) and last check.
nlohmann::json CheckJson(const DocumentRecord& record);

// One line of JSON. Fields hold bytes, not always UTF-8: bytes that are not UTF-8 become U+FFFD
// instead of ending the program with an exception.
std::string JsonLine(const nlohmann::json& value);

}  // namespace wardlet
