#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/mail_config.h"

namespace wardlet {

// "Wardpost.msg", the queue of e-mail notifications: the monitor appends entries, the mailer
// sends them. Every operation below holds an advisory lock ("Wardpost.msg.lock") so that an
// append never falls between the mailer's read and its clean-up.
inline constexpr char kMailQueueFile[] = "Wardpost.msg";
inline constexpr char kMailQueueTakenFile[] = "Wardpost.msg.taken";
inline constexpr char kMailerRunLockFile[] = "Wardpost.run.lock";
inline constexpr char kMailFallbackBody[] =
    "There are document changes but can't retrieve the details.\r\n";

enum class MailEvent { Changed = 2, Unavailable = 3 };

// The changed lines of a "Changed" entry travel beside the queue, never in it: one file per
// entry in this folder, named after the entry's stored bytes, written before the entry and
// removed once the entry has left the queue (sent, or dropped for good).
inline constexpr char kMailChangesFolder[] = "Wardpost.changes";
// The file name of an entry's changed lines: a hash of the entry's bytes, in hex, + ".lines".
std::string ChangedLinesFileName(std::string_view entry);
// The changed lines of an entry (LF line ends as written), when there are any.
using ChangedLinesLookup = std::function<std::optional<std::string>(std::string_view entry)>;
ChangedLinesLookup ChangedLinesIn(const std::filesystem::path& dataFolder);

// The three lines of one entry as stored: every line ends CR CR LF.
std::string FormatMailEntry(std::string_view timeStamp, MailEvent event, std::string_view name,
                            std::string_view location);

// Appends one entry stamped now, when `config` asks for this kind of event (sendOnChange or
// sendOnUnreachable not 0). True when the entry was written. Safe from several threads and
// against a running mailer. `changedLines` (LF line ends), when not empty, go to the entry's
// side file first; an entry whose side file cannot be written goes without it.
bool AppendMailEntry(const std::filesystem::path& dataFolder, const MailConfig& config,
                     MailEvent event, std::string_view name, std::string_view location,
                     std::string_view changedLines = {});

// The queue "exists" when it can be opened for reading, or when entries taken aside by a mailer
// that was killed wait in the aside copy; the monitor starts the mailer only then.
bool MailQueueExists(const std::filesystem::path& dataFolder);

struct MailBody {
    std::string text;     // CR LF line ends; the fallback text when nothing was taken
    size_t consumed = 0;  // bytes of the queue that went into `text`; the rest stays queued
};

// Builds the mail body from the queue's stored bytes: CR LF folded to LF as a text-mode read
// does, lines read in pieces of at most 1022 characters, pieces appended while the running total
// stays below 8000 characters. With `changedLines`, an entry that has them gets them before its
// closing empty line (CR LF line ends), as long as a mail's changed lines stay within 16000
// bytes; they do not count towards the 8000, so the entries of a mail are the same either way.
MailBody BuildMailBody(std::string_view queueBytes, const ChangedLinesLookup& changedLines = {});

// Held by a normal-mode mailer from taking the queue aside until it is settled, so that two runs
// never send the same entries. The system drops it with its process: an aside copy without a
// holder was left by a mailer that was killed.
class MailerRunLock {
public:
    explicit MailerRunLock(const std::filesystem::path& dataFolder);
    ~MailerRunLock();
    MailerRunLock(const MailerRunLock&) = delete;
    MailerRunLock& operator=(const MailerRunLock&) = delete;
    // Another mailer holds it. (When the lock file cannot be made at all, the run goes on
    // unguarded, as the queue file itself will most likely fail too.)
    bool busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

// Mailer side. Moves the queue aside (merging it into an aside copy left by an interrupted run)
// and returns the bytes aside, or nullopt when nothing is queued or it cannot be moved aside
// (it then stays queued for a later run).
std::optional<std::string> TakeMailQueue(const std::filesystem::path& dataFolder);
// Puts `unsent` back in front of whatever was appended since the take, and drops the aside copy.
bool RestoreMailQueue(const std::filesystem::path& dataFolder, std::string_view unsent);
// Both also remove the side files of entries no longer queued.
// Drops the aside copy after the taken entries were delivered (or refused for good).
void DiscardTakenMailQueue(const std::filesystem::path& dataFolder);

}  // namespace wardlet
