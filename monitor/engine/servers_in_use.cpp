#include "monitor/engine/servers_in_use.h"

#include <algorithm>
#include <cctype>

#include "common/little_endian.h"

namespace wardlet {

std::string ServersInUse::ServerOf(const DocumentRecord& record) {
    return ServerOf(record.type, FieldText(record.location));
}

std::string ServersInUse::ServerOf(int32_t type, std::string_view location) {
    if (type != static_cast<int32_t>(DocumentType::WebPage) &&
        type != static_cast<int32_t>(DocumentType::WebFile))
        return {};
    // Only as far as the connection's key, and cheaply: it is asked for on every claim. An
    // address the key reads differently from libcurl ("host" and "host:80") costs no more than a
    // connection, never a check.
    auto lower = [](std::string_view text) {
        std::string out(text);
        std::transform(out.begin(), out.end(), out.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return out;
    };
    size_t scheme = location.find("://");
    std::string_view rest =
        scheme == std::string_view::npos ? location : location.substr(scheme + 3);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#\\"));
    size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (authority.empty()) return {};
    return (scheme == std::string_view::npos ? std::string("http")
                                             : lower(location.substr(0, scheme))) +
           "://" + lower(authority);
}

ServersInUse::Visit::Visit(ServersInUse& servers, std::string server)
    : servers_(servers), server_(std::move(server)) {
    if (server_.empty()) return;
    std::lock_guard guard(servers_.lock_);
    ++servers_.visits_[server_];
}

ServersInUse::Visit::~Visit() {
    if (server_.empty()) return;
    std::lock_guard guard(servers_.lock_);
    auto found = servers_.visits_.find(server_);
    if (found != servers_.visits_.end() && --found->second == 0) servers_.visits_.erase(found);
}

bool ServersInUse::InUse(const std::string& server) const {
    if (server.empty()) return false;
    std::lock_guard guard(lock_);
    return visits_.count(server) != 0;
}

size_t ServersInUse::NextToClaim(const DocumentTable& table, size_t& position) const {
    while (position < table.size() && !table.IsWaiting(position))
        ++position;
    if (position >= table.size()) return DocumentTable::kNoSlot;
    size_t end = std::min(table.size(), position + kLookAhead);
    std::string location;
    for (size_t i = position; i < end; ++i) {
        int32_t type = 0;
        if (table.WaitingLocation(i, type, location) && !InUse(ServerOf(type, location))) return i;
    }
    return position;
}

}  // namespace wardlet
