#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "monitor/app/wardctl_session.h"
#include "monitor/model/document_filters.h"

namespace wardlet {

// Takes the filter options out of `args` into `filters` (which holds the document's filters so
// far): --select CSS, --xpath EXPR, --text-only, --ignore REGEX (repeatable; the ones given
// replace the list), --trigger WORDS, --trigger-removed; for edit also --no-select,
// --whole-text, --no-ignore, --no-trigger, --trigger-added and --no-filters. "" when all went
// well, else the usage problem. `changed` tells whether any filter option was given.
std::string TakeFilterOptions(std::vector<std::string>& args, DocumentFilters& filters,
                              bool& changed, bool forEdit);

// Why filters are refused for a document (compiling them, or a type they do not apply to);
// "" when they are taken.
std::string FiltersRefusal(const DocumentFilters& filters, DocumentType type);

// The "field: value" lines of show for the filters of a document (none without filters).
void PrintFilters(std::ostream& out, const FiltersLoad& load);

// wardctl edit NAME [filter options]
int EditCommand(WardctlSession& session, const std::vector<std::string>& args);
// wardctl try NAME: fetches once and prints what would be compared.
int TryCommand(WardctlSession& session, const std::vector<std::string>& args);

}  // namespace wardlet
