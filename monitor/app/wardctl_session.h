#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "monitor/app/wardctl_pass.h"
#include "monitor/app/wardlet_doc.h"

namespace wardlet {

// What one wardctl command works with: the monitor's document object over the data folder, wired
// as the window wires it but with wardctl's observer and no checks started by changes, its
// documents loaded on demand, and the folder lock for commands that write.
class WardctlSession {
public:
    WardctlSession(std::filesystem::path dataFolder, std::ostream& out, std::ostream& err);

    const std::filesystem::path& dataFolder() const { return doc_.dataFolder(); }
    CWardletDoc& doc() { return doc_; }
    WardctlObserver& observer() { return observer_; }

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
    WardctlObserver observer_{doc_.rows()};
    bool loaded_ = false;
};

using WardctlCommand = std::function<int(WardctlSession&, const std::vector<std::string>&)>;

}  // namespace wardlet
