#include "monitor/engine/servers_in_use.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "common/little_endian.h"
#include "monitor/engine/transfer.h"

namespace wardlet {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::string Part(CURLU* url, CURLUPart part) {
    char* text = nullptr;
    if (curl_url_get(url, part, &text, CURLU_DEFAULT_PORT) != CURLUE_OK || !text) return {};
    std::string value = text;
    curl_free(text);
    return value;
}

}  // namespace

std::string ServersInUse::ServerOf(const DocumentRecord& record) {
    auto type = TypeOf(record);
    if (type != DocumentType::WebPage && type != DocumentType::WebFile) return {};
    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url) return {};
    std::string address = WebUrl(FieldText(record.location));
    if (curl_url_set(url.get(), CURLUPART_URL, address.c_str(), CURLU_GUESS_SCHEME) != CURLUE_OK)
        return {};
    std::string host = Part(url.get(), CURLUPART_HOST);
    if (host.empty()) return {};
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return Part(url.get(), CURLUPART_SCHEME) + "://" + host + ":" + Part(url.get(), CURLUPART_PORT);
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
    for (size_t i = position; i < end; ++i) {
        if (!table.IsWaiting(i)) continue;
        DocumentRecord record = table.Get(i);
        if (!InUse(ServerOf(record))) return i;
    }
    return position;
}

}  // namespace wardlet
