#include "common/mail_queue.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <set>
#include <thread>

#include "common/atomic_file.h"
#include "common/debug_log.h"
#include "common/fd_io.h"
#include "common/time_stamp.h"

namespace wardlet {
namespace {

// Holds the queue lock for a scope. When the lock file cannot be opened the operation goes on
// unlocked: the queue file itself will then most likely fail too, which the caller handles.
class QueueLock {
public:
    explicit QueueLock(const std::filesystem::path& dataFolder) {
        auto file = dataFolder / "Wardpost.msg.lock";
        fd_ = open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~QueueLock() {
        if (fd_ >= 0) close(fd_);
    }
    QueueLock(const QueueLock&) = delete;
    QueueLock& operator=(const QueueLock&) = delete;

private:
    int fd_ = -1;
};

}  // namespace

std::string FormatMailEntry(std::string_view timeStamp, MailEvent event, std::string_view name,
                            std::string_view location) {
    const std::string_view lineEnd = "\r\r\n";
    std::string entry;
    entry.reserve(timeStamp.size() + name.size() + location.size() + 40);
    entry.append(timeStamp);
    entry.append(event == MailEvent::Changed ? " Changed: " : " Unable to retrieve: ");
    entry.append(name);
    entry.append(lineEnd);
    entry.append(location);
    entry.append(lineEnd);
    entry.append(lineEnd);
    return entry;
}

std::string ChangedLinesFileName(std::string_view entry) {
    // FNV-1a: the same name in the monitor and the mailer, whatever either was built with.
    uint64_t hash = 14695981039346656037ULL;
    for (unsigned char c : entry) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char name[32];
    snprintf(name, sizeof name, "%016llx.lines", static_cast<unsigned long long>(hash));
    return name;
}

ChangedLinesLookup ChangedLinesIn(const std::filesystem::path& dataFolder) {
    return [folder = dataFolder / kMailChangesFolder](std::string_view entry) {
        return ReadDataFile(folder / ChangedLinesFileName(entry));
    };
}

bool AppendMailEntry(const std::filesystem::path& dataFolder, const MailConfig& config,
                     MailEvent event, std::string_view name, std::string_view location,
                     std::string_view changedLines) {
    int32_t wanted = event == MailEvent::Changed ? config.sendOnChange : config.sendOnUnreachable;
    if (wanted == 0) return false;
    std::string entry = FormatMailEntry(MakeTimeStamp(), event, name, location);
    QueueLock lock(dataFolder);
    if (!changedLines.empty()) {
        auto folder = dataFolder / kMailChangesFolder;
        if ((mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) ||
            !ReplaceFileAtomically(folder / ChangedLinesFileName(entry), changedLines, 0600))
            DebugLog("cannot keep the changed lines of a mail entry in " + folder.string());
    }
    auto file = dataFolder / kMailQueueFile;
    int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = WriteAll(fd, entry);
    return close(fd) == 0 && ok;
}

namespace {

bool CanOpenForReading(const std::filesystem::path& file) {
    int fd = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return true;
}

// No running mailer holds the run lock (a shared probe, held only for this moment).
bool NoMailerRunning(const std::filesystem::path& dataFolder) {
    int fd = open((dataFolder / kMailerRunLockFile).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return true;  // never made: no mailer has run since
    int locked;
    while ((locked = flock(fd, LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    close(fd);
    return locked == 0;
}

}  // namespace

bool MailQueueExists(const std::filesystem::path& dataFolder) {
    if (CanOpenForReading(dataFolder / kMailQueueFile)) return true;
    return CanOpenForReading(dataFolder / kMailQueueTakenFile) && NoMailerRunning(dataFolder);
}

MailerRunLock::MailerRunLock(const std::filesystem::path& dataFolder) {
    fd_ = open((dataFolder / kMailerRunLockFile).c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
               0600);
    if (fd_ < 0) return;
    // The monitor's probe holds the lock shared for a moment only; a running mailer for the
    // whole of its send.
    int error = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
        error = errno;
        if (error != EWOULDBLOCK && error != EINTR) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    busy_ = error == EWOULDBLOCK;
    close(fd_);
    fd_ = -1;
}

MailerRunLock::~MailerRunLock() {
    if (fd_ >= 0) close(fd_);
}

namespace {

// The blank third line of an entry: the entry ends after it.
// The stored entries of queue bytes, each up to and including its closing empty line.
std::vector<std::string_view> EntriesOf(std::string_view queueBytes);

// With the queue lock held: removes the side files of every entry `queued` does not hold (and
// whatever else is in their folder, a temporary file left by a crash say).
void RemoveUnqueuedChangedLines(const std::filesystem::path& dataFolder, std::string_view queued) {
    auto folder = dataFolder / kMailChangesFolder;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    std::set<std::string> wanted;
    for (std::string_view entry : EntriesOf(queued))
        wanted.insert(ChangedLinesFileName(entry));
    std::vector<std::string> unwanted;
    while (dirent* item = readdir(dir)) {
        std::string name = item->d_name;
        if (name != "." && name != ".." && !wanted.count(name)) unwanted.push_back(name);
    }
    closedir(dir);
    for (const auto& name : unwanted)
        unlink((folder / name).c_str());
    if (wanted.empty()) rmdir(folder.c_str());
}

bool IsEntryEnd(std::string_view piece) {
    return !piece.empty() && piece.find_first_not_of("\r\n") == std::string_view::npos;
}

// Where the entry going on at `pos` ends in the stored bytes; npos when no entry end follows.
size_t NextEntryEnd(std::string_view queueBytes, size_t pos) {
    while (pos < queueBytes.size()) {
        size_t lf = queueBytes.find('\n', pos);
        size_t end = lf == std::string_view::npos ? queueBytes.size() : lf + 1;
        if (IsEntryEnd(queueBytes.substr(pos, end - pos))) return end;
        pos = end;
    }
    return std::string_view::npos;
}

std::vector<std::string_view> EntriesOf(std::string_view queueBytes) {
    std::vector<std::string_view> entries;
    for (size_t start = 0; start < queueBytes.size();) {
        size_t end = NextEntryEnd(queueBytes, start);
        if (end == std::string_view::npos) break;
        entries.push_back(queueBytes.substr(start, end - start));
        start = end;
    }
    return entries;
}

// The changed lines with CR LF line ends, as the body has them.
std::string AsBodyLines(std::string_view lines) {
    std::string text;
    for (char c : lines) {
        if (c == '\r') continue;
        if (c == '\n') text += '\r';
        text += c;
    }
    if (!text.empty() && text.back() != '\n') text += "\r\n";
    return text;
}

}  // namespace

MailBody BuildMailBody(std::string_view queueBytes, const ChangedLinesLookup& changedLines) {
    constexpr size_t kChangedLinesLimit = 16000;
    size_t entryStart = 0;
    size_t changedLinesAdded = 0;
    constexpr size_t kPieceMax = 1022;
    constexpr size_t kBodyLimit = 8000;
    MailBody body;
    size_t total = 0;
    size_t pos = 0;
    bool full = false;
    size_t wholeText = 0;  // body text and queue bytes up to the last whole entry
    size_t wholeBytes = 0;
    while (pos < queueBytes.size()) {
        // One piece as a text-mode fgets would return it: up to and including a line feed,
        // at most 1022 characters, CR LF folded to LF.
        std::string piece;
        size_t next = pos;
        while (next < queueBytes.size() && piece.size() < kPieceMax) {
            char c = queueBytes[next];
            if (c == '\r' && next + 1 < queueBytes.size() && queueBytes[next + 1] == '\n') {
                piece.push_back('\n');
                next += 2;
                break;
            }
            piece.push_back(c);
            ++next;
            if (c == '\n') break;
        }
        // A zero byte ends the piece's text, as it would end a C string.
        piece.resize(piece.find('\0') == std::string::npos ? piece.size() : piece.find('\0'));
        if (piece.empty()) break;
        total += piece.size();
        if (total >= kBodyLimit) {
            full = true;
            break;
        }
        if (IsEntryEnd(piece) && changedLines) {
            if (std::optional<std::string> lines =
                    changedLines(queueBytes.substr(entryStart, next - entryStart))) {
                std::string text = AsBodyLines(*lines);
                if (changedLinesAdded + text.size() <= kChangedLinesLimit) {
                    body.text += text;
                    changedLinesAdded += text.size();
                }
            }
        }
        body.text += piece;
        pos = next;
        if (IsEntryEnd(piece)) {
            entryStart = pos;
            wholeText = body.text.size();
            wholeBytes = pos;
        }
    }
    body.consumed = pos;
    if (full) {
        // The next mail must start with an entry's heading: send and keep whole entries only.
        if (wholeBytes > 0) {
            body.text.resize(wholeText);
            body.consumed = wholeBytes;
        } else if (size_t end = NextEntryEnd(queueBytes, pos); end != std::string_view::npos) {
            // Not even the first entry fits: its head goes out, the rest of it is dropped.
            body.consumed = end;
        }
    }
    if (body.text.empty()) {
        body.text = kMailFallbackBody;
        body.consumed = queueBytes.size();  // nothing usable in it: do not keep resending it
    }
    return body;
}

std::optional<std::string> TakeMailQueue(const std::filesystem::path& dataFolder) {
    QueueLock lock(dataFolder);
    auto queue = dataFolder / kMailQueueFile;
    auto taken = dataFolder / kMailQueueTakenFile;
    auto queued = ReadDataFile(queue);
    if (queued) {
        auto earlier = ReadDataFile(taken);
        if (!earlier) {
            // Could not be moved aside: leave it queued rather than send what may be sent twice.
            if (rename(queue.c_str(), taken.c_str()) != 0) return std::nullopt;
        } else {
            if (!ReplaceFileAtomically(taken, *earlier + *queued, 0600)) return *earlier;
            unlink(queue.c_str());
        }
    }
    return ReadDataFile(taken);
}

bool RestoreMailQueue(const std::filesystem::path& dataFolder, std::string_view unsent) {
    QueueLock lock(dataFolder);
    auto queue = dataFolder / kMailQueueFile;
    auto taken = dataFolder / kMailQueueTakenFile;
    if (!unsent.empty()) {
        std::string merged(unsent);
        if (auto since = ReadDataFile(queue)) merged += *since;
        if (!ReplaceFileAtomically(queue, merged, 0600)) return false;  // aside copy stays
        unlink(taken.c_str());
        RemoveUnqueuedChangedLines(dataFolder, merged);
        return true;
    }
    unlink(taken.c_str());
    RemoveUnqueuedChangedLines(dataFolder, ReadDataFile(queue).value_or(""));
    return true;
}

void DiscardTakenMailQueue(const std::filesystem::path& dataFolder) {
    QueueLock lock(dataFolder);
    unlink((dataFolder / kMailQueueTakenFile).c_str());
    RemoveUnqueuedChangedLines(dataFolder, ReadDataFile(dataFolder / kMailQueueFile).value_or(""));
}

}  // namespace wardlet
