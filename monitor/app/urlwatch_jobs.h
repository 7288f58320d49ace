#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/model/document_editor.h"
#include "monitor/model/document_filters.h"
#include "monitor/model/document_record.h"

namespace wardlet {

// One job of an imported list, before its name is made unique among the documents.
struct ImportJob {
    std::string label;  // how the report names it: its name, else its URL or command
    bool importable = false;
    DocumentInput input;      // when importable; input.name is the wanted name
    DocumentFilters filters;  // from its filter: chain
    std::string reason;       // why not, when not
};

struct ImportSource {
    std::string error;  // the file as a whole cannot be read; nothing is to be imported
    std::vector<ImportJob> jobs;
};

// The jobs of a urlwatch urls.yaml (one YAML document per job).
ImportSource ReadUrlwatchJobs(std::string_view text);
// One URL per line; blank lines and lines starting with "#" are passed over.
ImportSource ReadUrlList(std::string_view text);

// The document a URL is watched as: http and https a web page, ftp an FTP file, file a local
// file (the path after "file://", as urlwatch reads it). A user name and password in the URL
// become the document's account. False with `reason` for anything else.
bool DocumentFromUrl(const std::string& url, DocumentInput& input, std::string& reason);

// A document name from a wanted name or a URL: characters a name cannot hold become "_",
// surrounding blanks go, and it is cut (at a character boundary) so that a " (99)" suffix
// still fits. Empty when nothing is left.
std::string SafeName(std::string_view wanted);
std::string NameFromUrl(std::string_view url);

// The documents as a urls.yaml that urlwatch loads: "name" and "url" for each. What urlwatch
// cannot take (an account, the count or middle method) is left out with a line in `notes`.
// nullopt when the YAML writer failed.
std::optional<std::string> UrlwatchJobsYaml(const std::vector<DocumentRecord>& records,
                                            std::vector<std::string>& notes);

}  // namespace wardlet
