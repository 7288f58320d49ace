#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "monitor/engine/check_observer.h"
#include "monitor/model/document_record.h"

namespace wardlet {

// Where the new bytes of a changed document are when its change is announced.
struct NewBytes {
    std::filesystem::path file;  // empty: not at hand (nothing to show)
    bool userFile = false;       // the watched local file itself, not a file of the data folder
    bool plainText = false;      // a page's text already (a "text only" filtered portion)
};

// The first changed lines of the text from the stored copy to `fresh`, as a "Changed" mail
// carries them (FirstChangedLines); empty for binary copies, copies too large to read whole for
// a notification, or when either cannot be read.
std::string MailChangedLines(const DocumentRecord& record, const std::filesystem::path& storedCopy,
                             const NewBytes& fresh, const std::filesystem::path& historyFolder);

// What a change of text did, read once for the tray and the mail: the lines added and removed
// and, when `mailLines` is asked for, the mail's changed lines. No counts (and no lines) where
// MailChangedLines gives none.
struct ChangeOutline {
    std::optional<ChangedLineCount> counts;
    std::string mailLines;
};
ChangeOutline OutlineChange(const DocumentRecord& record, const std::filesystem::path& storedCopy,
                            const NewBytes& fresh, const std::filesystem::path& historyFolder,
                            bool mailLines);

}  // namespace wardlet
