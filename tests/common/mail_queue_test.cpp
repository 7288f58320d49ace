#include "common/mail_queue.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "file_bytes.h"
#include "temp_home.h"
#include "time_stamp_shape.h"

namespace wardlet {
namespace {

using test::ReadBytes;
using test::TempDataHome;
using test::WriteBytes;

MailConfig Wants(int32_t onChange, int32_t onUnreachable) {
    MailConfig c{};
    c.sendOnChange = onChange;
    c.sendOnUnreachable = onUnreachable;
    return c;
}

// Splits stored entries into their first line without its time stamp and their second line;
// false when the bytes are not a sequence of whole, well-formed entries.
bool SplitEntries(std::string_view bytes, std::vector<std::pair<std::string, std::string>>& out) {
    const std::string_view end = "\r\r\n";
    while (!bytes.empty()) {
        if (bytes.size() < 22 || !test::IsTimeStamp(bytes.substr(0, 21)) || bytes[21] != ' ')
            return false;
        size_t first = bytes.find(end);
        if (first == std::string_view::npos) return false;
        size_t second = bytes.find(end, first + 3);
        if (second == std::string_view::npos || bytes.substr(second + 3, 3) != end) return false;
        out.emplace_back(bytes.substr(22, first - 22), bytes.substr(first + 3, second - first - 3));
        bytes.remove_prefix(second + 6);
    }
    return true;
}

TEST(MailEntry, ExactBytesWithCrCrLfLineEnds) {
    EXPECT_EQ(FormatMailEntry("2012/01/05 [09:03:07]", MailEvent::Changed, "Price list",
                              "http://example.com/prices"),
              "2012/01/05 [09:03:07] Changed: Price list\r\r\n"
              "http://example.com/prices\r\r\n\r\r\n");
    EXPECT_EQ(FormatMailEntry("2012/01/05 [09:03:07]", MailEvent::Unavailable, "Log", "/var/x.log"),
              "2012/01/05 [09:03:07] Unable to retrieve: Log\r\r\n/var/x.log\r\r\n\r\r\n");
}

TEST(MailEntry, AppendFollowsTheSettingsAndStampsNow) {
    TempDataHome home;
    auto folder = home.makeDataFolder();
    auto queue = folder / kMailQueueFile;

    EXPECT_FALSE(AppendMailEntry(folder, Wants(1, 0), MailEvent::Unavailable, "Down", "http://d/"));
    EXPECT_FALSE(AppendMailEntry(folder, Wants(0, 1), MailEvent::Changed, "News", "http://n/"));
    EXPECT_FALSE(MailQueueExists(folder));
    EXPECT_FALSE(std::filesystem::exists(queue));

    EXPECT_TRUE(AppendMailEntry(folder, Wants(1, 0), MailEvent::Changed, "News", "http://n/"));
    EXPECT_TRUE(AppendMailEntry(folder, Wants(0, 1), MailEvent::Unavailable, "Down", "http://d/"));
    EXPECT_TRUE(MailQueueExists(folder));
    std::vector<std::pair<std::string, std::string>> entries;
    ASSERT_TRUE(SplitEntries(ReadBytes(queue), entries)) << ReadBytes(queue);
    EXPECT_EQ(entries,
              (std::vector<std::pair<std::string, std::string>>{
                  {"Changed: News", "http://n/"}, {"Unable to retrieve: Down", "http://d/"}}));
}

TEST(MailEntry, AQueuePlantedAsALinkIsNeitherAppendedThroughNorTaken) {
    TempDataHome home;
    auto folder = home.makeDataFolder();
    test::TempDir elsewhere;
    auto victim = elsewhere.path() / "victim";
    WriteBytes(victim, "precious\n");
    std::filesystem::create_symlink(victim, folder / kMailQueueFile);

    EXPECT_FALSE(AppendMailEntry(folder, Wants(1, 1), MailEvent::Changed, "News", "http://n/"));
    EXPECT_FALSE(MailQueueExists(folder));
    EXPECT_FALSE(TakeMailQueue(folder).has_value());
    EXPECT_EQ(ReadBytes(victim), "precious\n");
}

TEST(MailEntry, ConcurrentAppendsStayWholeEntries) {
    TempDataHome home;
    auto folder = home.makeDataFolder();
    constexpr int kThreads = 8, kEach = 50;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&folder, t] {
            for (int i = 0; i < kEach; ++i) {
                std::string name = "doc-" + std::to_string(t) + "-" + std::to_string(i);
                AppendMailEntry(folder, Wants(1, 1), MailEvent::Changed, name,
                                "http://example.com/" + name + std::string(300, 'p'));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();

    std::string bytes = ReadBytes(folder / kMailQueueFile);
    std::vector<std::pair<std::string, std::string>> entries;
    ASSERT_TRUE(SplitEntries(bytes, entries)) << "torn or mixed entries";
    std::map<std::string, int> seen;
    for (const auto& [line, location] : entries) {
        std::string name = line.substr(std::string_view("Changed: ").size());
        EXPECT_EQ(location, "http://example.com/" + name + std::string(300, 'p'));
        ++seen[name];
    }
    EXPECT_EQ(entries.size(), size_t{kThreads * kEach});
    EXPECT_EQ(seen.size(), size_t{kThreads * kEach});
    for (const auto& [name, count] : seen)
        EXPECT_EQ(count, 1) << name;
}

// A queue line as stored: `chars` characters as read, that is chars - 2 text bytes and CR CR LF.
std::string StoredLine(size_t chars, char fill) {
    return std::string(chars - 2, fill) + "\r\r\n";
}

TEST(MailBody, EmptyQueueGivesTheFallbackText) {
    MailBody body = BuildMailBody("");
    EXPECT_EQ(body.text, "There are document changes but can't retrieve the details.\r\n");
    EXPECT_EQ(body.consumed, 0u);
}

TEST(MailBody, KeepsWholeLinesBelow8000Characters) {
    std::string queue, expected;
    for (int i = 0; i < 90; ++i) {
        char fill = static_cast<char>('a' + i % 26);
        queue += StoredLine(100, fill);
        if (i < 79) expected += std::string(98, fill) + "\r\n";
    }
    MailBody body = BuildMailBody(queue);
    EXPECT_EQ(body.text.size(), 7900u);
    EXPECT_EQ(body.text, expected);
    EXPECT_EQ(body.consumed, 79u * 101u);
}

TEST(MailBody, LongLineIsReadIn1022CharacterPieces) {
    std::string line(9000, 'x');
    for (size_t i = 0; i < line.size(); i += 7)
        line[i] = static_cast<char>('0' + i % 10);
    MailBody body = BuildMailBody(line + "\r\r\n");
    EXPECT_EQ(body.text, line.substr(0, 7154));
    EXPECT_EQ(body.consumed, 7154u);
}

TEST(MailBody, EntriesArriveWithCrLfAndTheEmptyLineKept) {
    std::string first = FormatMailEntry("2012/01/05 [09:03:07]", MailEvent::Changed, "Price list",
                                        "http://example.com/prices");
    std::string second =
        FormatMailEntry("2012/01/05 [09:04:00]", MailEvent::Unavailable, "Log", "/var/x.log");
    MailBody body = BuildMailBody(first + second);
    EXPECT_EQ(body.text,
              "2012/01/05 [09:03:07] Changed: Price list\r\nhttp://example.com/prices\r\n\r\n"
              "2012/01/05 [09:04:00] Unable to retrieve: Log\r\n/var/x.log\r\n\r\n");
    EXPECT_EQ(body.consumed, first.size() + second.size());

    // An entry too long for any mail goes out as far as it fits; the rest of it is dropped,
    // so the next mail starts with the following entry.
    std::string filler = StoredLine(7950, 'f');
    body = BuildMailBody(filler + first + second);
    EXPECT_EQ(body.consumed, filler.size() + first.size());
    EXPECT_EQ(body.text.substr(body.text.size() - 43),
              "2012/01/05 [09:03:07] Changed: Price list\r\n");
}

TEST(MailBody, TheLimitSendsAndKeepsWholeEntriesOnly) {
    std::string queue;
    for (int i = 0; i < 60; ++i) {
        queue += FormatMailEntry("2012/01/05 [09:03:07]", MailEvent::Changed,
                                 "Document " + std::to_string(i),
                                 "http://example.com/" + std::string(100, 'a' + i % 26));
    }
    MailBody body = BuildMailBody(queue);
    ASSERT_LT(body.consumed, queue.size());
    EXPECT_LT(body.text.size(), 8000u);
    EXPECT_GT(body.text.size(), 7800u);
    EXPECT_EQ(body.text.substr(body.text.size() - 4), "\r\n\r\n");  // ends with a whole entry
    std::string kept = queue.substr(body.consumed);
    EXPECT_EQ(kept.rfind("2012/01/05 [09:03:07] Changed: Document ", 0), 0u) << kept.substr(0, 60);
    // The two parts together are the queue: nothing lost, nothing twice.
    EXPECT_EQ(BuildMailBody(queue.substr(0, body.consumed)).text, body.text);
}

TEST(MailQueueTake, EntriesAppendedWhileSendingComeAfterTheRestoredOnes) {
    TempDataHome home;
    auto folder = home.makeDataFolder();
    auto queue = folder / kMailQueueFile;
    auto taken = folder / kMailQueueTakenFile;
    EXPECT_FALSE(TakeMailQueue(folder));

    WriteBytes(queue, "A-entry|B-entry|");
    MailerRunLock run(folder);
    auto got = TakeMailQueue(folder);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "A-entry|B-entry|");
    EXPECT_FALSE(MailQueueExists(folder));
    EXPECT_TRUE(AppendMailEntry(folder, Wants(1, 1), MailEvent::Changed, "C", "http://c/"));
    std::string appended = ReadBytes(queue);

    ASSERT_TRUE(RestoreMailQueue(folder, "B-entry|"));
    EXPECT_EQ(ReadBytes(queue), "B-entry|" + appended);
    EXPECT_FALSE(std::filesystem::exists(taken));

    got = TakeMailQueue(folder);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "B-entry|" + appended);
    DiscardTakenMailQueue(folder);
    EXPECT_FALSE(std::filesystem::exists(taken));
    EXPECT_FALSE(std::filesystem::exists(queue));
    EXPECT_FALSE(TakeMailQueue(folder));
}

TEST(MailQueueTake, LeftoverTakenFileIsMergedAtTheNextTake) {
    TempDataHome home;
    auto folder = home.makeDataFolder();
    WriteBytes(folder / kMailQueueTakenFile, "interrupted|");
    auto got = TakeMailQueue(folder);  // nothing new queued: the leftover alone
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "interrupted|");

    WriteBytes(folder / kMailQueueFile, "new|");
    got = TakeMailQueue(folder);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "interrupted|new|");
    EXPECT_FALSE(std::filesystem::exists(folder / kMailQueueFile));
    EXPECT_EQ(ReadBytes(folder / kMailQueueTakenFile), "interrupted|new|");
    ASSERT_TRUE(RestoreMailQueue(folder, ""));  // all sent
    EXPECT_FALSE(std::filesystem::exists(folder / kMailQueueTakenFile));
    EXPECT_FALSE(MailQueueExists(folder));
}

// The mailer of the test is a child process, so that killing it is what a user's kill does.
TEST(MailQueueTake, AnAsideCopyLeftByAKilledMailerIsSeenAndSentFirst) {
    TempDataHome home;
    auto folder = home.makeDataFolder();
    ASSERT_TRUE(AppendMailEntry(folder, Wants(1, 1), MailEvent::Changed, "First", "http://a/"));
    std::string first = ReadBytes(folder / kMailQueueFile);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t mailer = fork();
    if (mailer == 0) {
        MailerRunLock run(folder);
        bool took = !run.busy() && TakeMailQueue(folder).has_value();
        char byte = took ? '1' : '0';
        (void)!write(ready[1], &byte, 1);
        pause();  // "sending" until killed
        _exit(0);
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    close(ready[0]);
    EXPECT_EQ(byte, '1');
    // While that mailer runs, its aside copy is its business, and a second run stays out.
    EXPECT_FALSE(MailQueueExists(folder));
    EXPECT_TRUE(MailerRunLock(folder).busy());

    kill(mailer, SIGKILL);
    waitpid(mailer, nullptr, 0);
    EXPECT_TRUE(MailQueueExists(folder));
    ASSERT_TRUE(AppendMailEntry(folder, Wants(1, 1), MailEvent::Changed, "Second", "http://b/"));
    std::string second = ReadBytes(folder / kMailQueueFile);
    MailerRunLock next(folder);
    EXPECT_FALSE(next.busy());
    auto got = TakeMailQueue(folder);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, first + second);
}

}  // namespace
}  // namespace wardlet
