#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "monitor/model/document_record.h"
#include "monitor/model/document_table.h"

namespace wardlet {

// The web servers the check threads are talking to now. libcurl lets one thread at a time use a
// kept connection, so a second thread that checks a page of the same server opens another one:
// a TCP and a TLS set-up, two or three round trips. A thread about to claim such a page takes a
// Waiting page of another server a few slots further on first, when there is one.
class ServersInUse {
public:
    // How far past its position a pass looks for a page of a server nobody is talking to.
    static constexpr size_t kLookAhead = 8;

    // "scheme://host[:port]" of a web document's address, in lower case; empty for other
    // documents (an FTP check has a connection of its own, a local file none).
    static std::string ServerOf(const DocumentRecord& record);
    static std::string ServerOf(int32_t type, std::string_view location);

    // While it lives, `server` counts as in use.
    class Visit {
    public:
        Visit(ServersInUse& servers, std::string server);
        ~Visit();
        Visit(const Visit&) = delete;
        Visit& operator=(const Visit&) = delete;

    private:
        ServersInUse& servers_;
        std::string server_;
    };

    // The slot a pass at `position` claims next: the first Waiting slot of the next kLookAhead
    // whose server is not in use, else the first Waiting one; kNoSlot when none is left.
    // `position` moves past the slots that no longer wait, never past a Waiting one, so every
    // record Waiting ahead of the pass is still met; the caller moves it past a slot it claimed
    // there.
    size_t NextToClaim(const DocumentTable& table, size_t& position) const;

private:
    bool InUse(const std::string& server) const;

    mutable std::mutex lock_;
    std::unordered_map<std::string, int> visits_;
};

}  // namespace wardlet
