#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/atomic_file.h"
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
        File,             // a copy of the stored content `source`, to be made at `file`
        NotDownloaded,    // no stored copy to open
        InvalidLocation,  // the location has no file name part
        NoTempName,       // no unique name for the copy could be had (silent)
        CopyFailed,       // the copy could not be written (silent)
    };
    Kind kind;
    std::string url;
    std::filesystem::path file;
    std::filesystem::path source;
    std::filesystem::path reserved;  // the temporary file that keeps the copy's name unique
};

// A web page's address: "https://" when the location holds "s://" or "S://", else "http://",
// then the text after the first "://" (or the whole location), with "user:password@" in front
// of it when the document uses an account.
std::string WebPageAddress(const DocumentRecord& record);

// The part of the location after its last "\" or "/", scanning back from the last character;
// none when a line break comes first or only the first character is left (it never counts as a
// separator).
std::optional<std::string> LocationFileName(std::string_view location);

// Opened copies live in a folder of their own inside the data folder (created 0700), where no
// document file can be, so clearing them can never take a stored file.
inline constexpr char kOpenedCopiesFolder[] = "opened";
std::filesystem::path OpenedCopiesFolder(const std::filesystem::path& dataFolder);

// Plans the target of a document: a web page's address, or, for the other types, a copy of
// "<name>.content" named "<unique UVP temporary name>_<file name>" in the opened-copies folder,
// so that it keeps the document's own extension and opens with the program registered for it.
// The copy itself is MakeOpenedCopy's (it may be long: the caller runs it off its thread).
OpenTarget PrepareOpenTarget(const DocumentRecord& record, const std::filesystem::path& dataFolder);
// Copies a File target's source to its file; a failed or stopped copy leaves no file. Either way
// the name's reservation goes.
CopyOutcome MakeOpenedCopy(const OpenTarget& target, const CopyProgress& progress = {});

// The files of the opened-copies folder, removed when their last change is at least `age` old
// (zero: all of them). How many went.
size_t DeleteOpenedCopies(const std::filesystem::path& dataFolder,
                          std::chrono::seconds age = std::chrono::seconds(0));
inline constexpr std::chrono::hours kOpenedCopyLifetime{24};

}  // namespace wardlet
