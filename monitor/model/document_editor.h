#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "monitor/model/document_record.h"
#include "monitor/model/document_table.h"

namespace wardlet {

// The properties editor's rules, shared by the dialog and wardctl.

enum class PropertiesMode { Add = 0, Edit = 1, Copy = 2 };

// What the user typed and chose, as the dialog's controls hold it.
struct DocumentInput {
    DocumentType type = DocumentType::WebPage;
    std::string name;
    std::string location;
    bool account = false;
    std::string userName;
    std::string password;
    CheckMethod method = CheckMethod::Simple;
    std::string countString;
    std::string middleStart;
    std::string middleEnd;
};

struct EditorResult {
    bool ok = false;
    std::string message;  // the information message shown when not ok
    DocumentRecord staged{};
};

// Longest name whose files (including the new file written beside "<name>.data" when it is
// replaced) fit a file name of 255 bytes.
inline constexpr size_t kMaxNameBytes = 255 - 5 - 11;

// Apply: checks the input in the editor's order and fills the staged record (all zero, then the
// chosen fields, status Waiting). `editedIndex` is skipped by the duplicate test in Edit mode.
EditorResult ApplyDocumentInput(const DocumentInput& input, const DocumentTable& table,
                                PropertiesMode mode, size_t editedIndex,
                                const std::filesystem::path& dataFolder);

// "https://" when the typed text has "s://" or "S://" anywhere, else "http://", followed by the
// text after the first "://" (the whole text when there is none).
std::string BuildWebLocation(std::string_view typed);

// A carriage return or a line feed: refused in locations and account fields, which end up in
// protocol lines.
bool HasLineBreak(std::string_view text);

// What is handed to the browser for a web location: BuildWebLocation's prefix and rest, with the
// account put between them as "user:password@" when it is used. The dialog's "Open..." and the
// window's opening of a web page both build it here.
std::string WebOpenTarget(std::string_view location, bool useAccount, std::string_view user,
                          std::string_view password);

// None of \ / : * ? " < > | and no control character.
bool NameHasAllowedCharacters(std::string_view name);

// True when a file of this name can be created in `folder`. Proven with a new file of its own
// (exclusive creation, removed at once), so no existing file is ever touched.
bool NameCanBeCreated(std::string_view name, const std::filesystem::path& folder);

}  // namespace wardlet
