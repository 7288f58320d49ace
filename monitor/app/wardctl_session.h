#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "monitor/app/wardlet_doc.h"
#include "monitor/model/document_store.h"
#include "monitor/model/document_table.h"
#include "monitor/model/headless_list.h"

namespace wardlet {

// What one wardctl command works with: the monitor's document object over the data folder, its
// documents loaded on demand with a headless list, and the folder lock for commands that write.
class WardctlSession {
public:
    WardctlSession(std::filesystem::path dataFolder, std::ostream& out, std::ostream& err);

    const std::filesystem::path& dataFolder() const { return doc_.dataFolder(); }
    CWardletDoc& doc() { return doc_; }
    DocumentTable& table() { return doc_.table(); }
    DocumentStore& store() { return doc_.store(); }
    HeadlessDocumentList& list() { return list_; }

    // Loads the documents once.
    void Load();
    // Takes the data-folder lock and clears what a killed run left behind; 0 when held, else the
    // exit status after telling why.
    int LockForWriting();
    // Says that no document has this name; returns the matching exit status.
    int NoDocument(const std::string& name);

    std::ostream& out;
    std::ostream& err;

private:
    CWardletDoc doc_;
    HeadlessDocumentList list_;
    bool loaded_ = false;
};

using WardctlCommand = std::function<int(WardctlSession&, const std::vector<std::string>&)>;

}  // namespace wardlet
