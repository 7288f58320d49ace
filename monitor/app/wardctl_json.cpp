#include "monitor/app/wardctl_json.h"

#include <cstdio>
#include <ctime>

#include "common/little_endian.h"

namespace wardlet {
namespace {

using nlohmann::json;

// Text fields as stored; the JSON writer checks their encoding.
std::string Text(std::string_view field) {
    return std::string(field);
}

json TimeOrNull(std::string_view stamp) {
    auto iso = IsoTimeOf(stamp);
    return iso ? json(*iso) : json(nullptr);
}

}  // namespace

std::optional<std::string> IsoTimeOf(std::string_view stamp) {
    // The form is fixed at 21 characters; sscanf alone would accept trailing text.
    if (stamp.size() != 21) return std::nullopt;
    std::string text(stamp);
    std::tm local{};
    char close = 0;
    if (sscanf(text.c_str(), "%4d/%2d/%2d [%2d:%2d:%2d%c", &local.tm_year, &local.tm_mon,
               &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec, &close) != 7 ||
        close != ']')
        return std::nullopt;
    if (local.tm_mon < 1 || local.tm_mon > 12 || local.tm_mday < 1 || local.tm_mday > 31 ||
        local.tm_hour > 23 || local.tm_min > 59 || local.tm_sec > 60)
        return std::nullopt;
    std::tm asked = local;
    local.tm_year -= 1900;
    local.tm_mon -= 1;
    local.tm_isdst = -1;  // the zone's rule for that day decides the offset
    if (mktime(&local) == static_cast<std::time_t>(-1)) return std::nullopt;
    long offset = local.tm_gmtoff;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    // Printed from the stored fields: mktime moves a time that falls in a gap of the zone.
    char iso[96];
    snprintf(iso, sizeof iso, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", asked.tm_year,
             asked.tm_mon, asked.tm_mday, asked.tm_hour, asked.tm_min, asked.tm_sec, sign,
             offset / 3600, offset % 3600 / 60);
    return std::string(iso);
}

json RecordJson(const DocumentRecord& r) {
    return json{
        {"type", r.type},
        {"typeText", Text(TypeText(r.type))},
        {"location", Text(FieldText(r.location))},
        {"name", Text(FieldText(r.name))},
        {"useAccount", r.useAccount},
        {"userName", Text(FieldText(r.userName))},
        {"password", Text(FieldText(r.password))},
        {"lastCheck", TimeOrNull(FieldText(r.lastCheck))},
        {"lastCheckText", Text(FieldText(r.lastCheck))},
        {"status", r.status},
        {"statusText", Text(StatusText(r.status))},
        {"useCount", r.useCount},
        {"lastCount", r.lastCount},
        {"countString", Text(FieldText(r.countString))},
        {"useMiddle", r.useMiddle},
        {"middleStart", Text(FieldText(r.middleStart))},
        {"middleEnd", Text(FieldText(r.middleEnd))},
    };
}

json CheckJson(const DocumentRecord& r) {
    return json{
        {"name", Text(FieldText(r.name))},
        {"status", r.status},
        {"statusText", Text(StatusText(r.status))},
        {"lastCheck", TimeOrNull(FieldText(r.lastCheck))},
    };
}

std::string JsonLine(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace wardlet
