#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/model/document_record.h"

namespace wardlet {

inline constexpr char kNotDownloadedYet[] =
    "This document is not downloaded yet.\nPlease use the 'Check!' button to download.";
inline constexpr char kInvalidLocation[] =
    "Invalid document location.\nPlease use the 'Edit' button to correct.";

// What opening a document hands to the desktop, or why it cannot.
struct OpenTarget {
    enum class Kind {
        Url,              // a web page, opened live from `url`
        File,             // a copy of the stored content at `file`
        NotDownloaded,    // no stored copy to open
        InvalidLocation,  // the location has no file name part
        NoTempName,       // no unique name for the copy could be had (silent)
        CopyFailed,       // the copy could not be written (silent)
    };
    Kind kind;
    std::string url;
    std::filesystem::path file;
};

// A web page's address: "https://" when the location holds "s://" or "S://", else "http://",
// then the text after the first "://" (or the whole location), with "user:password@" in front
// of it when the document uses an account.
std::string WebPageAddress(const DocumentRecord& record);

// The part of the location after its last "\" or "/", scanning back from the last character;
// none when a line break comes first or only the first character is left (it never counts as a
// separator).
std::optional<std::string> LocationFileName(std::string_view location);

// Builds the target of a document: a web page's address, or, for the other types, a copy of
// "<name>.content" named "<unique UVP temporary name>_<file name>" in the data folder, so that it
// keeps the document's own extension and opens with the program registered for it.
OpenTarget PrepareOpenTarget(const DocumentRecord& record, const std::filesystem::path& dataFolder);

// The copies opening made ("UVP<hex>.tmp_<file name>" in the data folder), removed when their
// last change is at least `age` old (zero: all of them). How many went.
size_t DeleteOpenedCopies(const std::filesystem::path& dataFolder,
                          std::chrono::seconds age = std::chrono::seconds(0));
inline constexpr std::chrono::hours kOpenedCopyLifetime{24};

}  // namespace wardlet
