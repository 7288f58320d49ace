#pragma once

#include <atomic>
#include <string>

#include "monitor/changes/page_filters.h"
#include "monitor/engine/transfer.h"
#include "monitor/model/document_record.h"

namespace wardlet {

// What a document's filters would compare now: the page fetched once (no stored file touched)
// and filtered, for wardctl's "try" and the properties dialog's "Try" button.
struct FilterTrial {
    enum class Outcome { Compared, FilteredOut, Refused, NotFetched };
    Outcome outcome = Outcome::NotFetched;
    std::string problem;        // unless Compared: why, in words
    PageFilter::Result result;  // Compared and FilteredOut: the lines, ignored ones marked
};

// Fetches `location` (a web location as stored, with the account when `useAccount`) and applies
// `filters`. Blocks for the transfer; `stop` ends it early.
FilterTrial TryFilters(std::string_view location, bool useAccount, std::string_view userName,
                       std::string_view password, const DocumentFilters& filters,
                       const TransferLimits& limits, const std::atomic<bool>& stop);

}  // namespace wardlet
