#include "monitor/model/version_history.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/model/document_store.h"
#include "temp_home.h"

namespace wardlet {
namespace {

using test::ReadBytes;
using test::TempDataHome;
using test::WriteBytes;
namespace fs = std::filesystem;

struct History : ::testing::Test {
    TempDataHome home;
    fs::path folder = home.makeDataFolder();
    fs::path copy = folder / "Doc.content";
    fs::path history = HistoryFolder(folder, "Doc");

    // What a check's commit does: the old copy kept, then the new one renamed over it.
    void Replace(const std::string& bytes, const VersionBounds& bounds = {}) {
        WriteBytes(folder / "UVPnew.tmp", bytes);
        EXPECT_TRUE(KeepReplacedCopy(history, copy, bounds));
        ASSERT_EQ(rename((folder / "UVPnew.tmp").c_str(), copy.c_str()), 0);
    }
    std::vector<std::string> Kept() {
        std::vector<std::string> bytes;
        for (const auto& v : ListVersions(history, copy))
            bytes.push_back(v.kept ? ReadBytes(v.file) : "<" + std::to_string(v.bytes) + ">");
        return bytes;
    }
};

TEST_F(History, ReplacedCopiesAreKeptNewestFirstWithTheirBytesAndTimes) {
    Replace("first\r\n");  // nothing stored yet: nothing to keep
    EXPECT_FALSE(fs::exists(history));
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);
    Replace("second\r\n");
    Replace("third");
    EXPECT_EQ(Kept(), (std::vector<std::string>{"second\r\n", "first\r\n"}));
    auto versions = ListVersions(history, copy);
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[1].time, 1700000000) << "the time the copy was stored";
    EXPECT_EQ(versions[1].bytes, 7);
    EXPECT_GT(versions[0].sequence, versions[1].sequence);
    EXPECT_EQ(ReadBytes(copy), "third");
}

TEST_F(History, TheBoundsDropTheOldestAndACopyTooLargeLeavesOnlyItsSize) {
    Replace("v1");
    for (std::string v : {"v2", "v3", "v4", "v5"})
        Replace(v, {3, 1000});
    EXPECT_EQ(Kept(), (std::vector<std::string>{"v4", "v3", "v2"}));
    // 10 bytes at most: the copy of 12 is noted by size, and the older ones go to fit.
    Replace("0123456789ab", {3, 10});
    Replace("next", {3, 10});
    EXPECT_EQ(Kept(), (std::vector<std::string>{"<12>", "v5", "v4"}));
    Replace("last", {3, 4});
    EXPECT_EQ(Kept(), (std::vector<std::string>{"next", "<12>"}));
    Replace("none", {0, 1000});
    EXPECT_EQ(Kept(), (std::vector<std::string>{"next", "<12>"})) << "0 keeps nothing new";
}

TEST_F(History, ALinkWhoseCopyWasNeverReplacedIsNoVersionAndIsNotKeptTwice) {
    Replace("old");
    // A run killed after the keep and before the rename.
    ASSERT_TRUE(KeepReplacedCopy(history, copy, {}));
    EXPECT_TRUE(Kept().empty());
    Replace("new");
    EXPECT_EQ(Kept(), std::vector<std::string>{"old"});
    EXPECT_EQ(std::distance(fs::directory_iterator(history), fs::directory_iterator()), 1);
}

TEST_F(History, AKillAtAnyPointLeavesWholeVersionsInOrder) {
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        fs::remove_all(HistoryRoot(folder));
        WriteBytes(copy, std::string(4096, 'A'));
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            DocumentTable table;
            DocumentStore store(folder, table);
            size_t i = table.Add(DocumentRecord{});
            for (char c = 'B';; c = c == 'Z' ? 'B' : c + 1) {
                fs::path fresh = folder / "UVPx.tmp";
                WriteBytes(fresh, std::string(4096, c));
                FileMove move{fresh, copy, history, {4, 1 << 20}};
                store.QueueCheckResults(i, table.Generation(i), false, {move});
                store.FlushPendingWrites();
            }
        }
        std::mt19937 random(static_cast<unsigned>(round));
        usleep(2000 + random() % 20000);
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        std::string current = ReadBytes(copy);
        ASSERT_EQ(current.size(), 4096u);
        ASSERT_EQ(current, std::string(4096, current[0]));
        auto versions = ListVersions(history, copy);
        EXPECT_LE(versions.size(), 5u) << "at most one over the bound before the pruning";
        char newer = current[0];
        for (const auto& v : versions) {
            std::string bytes = ReadBytes(v.file);
            ASSERT_EQ(bytes, std::string(4096, bytes[0])) << "a torn version";
            char expected = newer == 'B' ? 'Z' : newer == 'A' ? '?' : newer - 1;
            if (newer == 'B' && bytes[0] == 'A') expected = 'A';
            EXPECT_EQ(bytes[0], expected) << "versions follow each other";
            newer = bytes[0];
        }
        DocumentTable table;
        DocumentStore start(folder, table);
        start.DeleteStrayFiles();
    }
}

DocumentRecord Page(const std::string& name, const std::string& location) {
    DocumentRecord r{};
    r.type = static_cast<int32_t>(DocumentType::WebPage);
    SetFieldText(r.name, name);
    SetFieldText(r.location, location);
    r.status = static_cast<int32_t>(DocumentStatus::Waiting);
    return r;
}

TEST_F(History, DeleteRemovesRenameCarriesAndAFreshEditDropsTheVersions) {
    DocumentTable table;
    DocumentStore store(folder, table);
    size_t i = store.AddDocument(Page("Doc", "http://a/"));
    Replace("one");
    Replace("two");
    ASSERT_EQ(Kept(), std::vector<std::string>{"one"});

    ASSERT_EQ(store.EditDocument(i, Page("Renamed", "http://a/")), EditOutcome::Saved);
    EXPECT_FALSE(fs::exists(history));
    EXPECT_EQ(ListVersions(store.HistoryOf("Renamed"), store.ContentFile("Renamed")).size(), 1u);
    EXPECT_EQ(ReadBytes(store.ContentFile("Renamed")), "two");

    ASSERT_EQ(store.EditDocument(i, Page("Doc", "http://a/")), EditOutcome::Saved);
    Replace("three");
    ASSERT_EQ(Kept(), (std::vector<std::string>{"two", "one"}));
    ASSERT_EQ(store.EditDocument(i, Page("Doc", "http://b/")), EditOutcome::Saved);
    EXPECT_FALSE(fs::exists(HistoryRoot(folder))) << "a new location starts afresh";

    Replace("four");
    Replace("five");
    ASSERT_FALSE(Kept().empty());
    store.DeleteDocuments({"Doc"});
    EXPECT_FALSE(fs::exists(HistoryRoot(folder)));
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(History, AHistoryLeftUnderTheNameOfANewDocumentIsNotInherited) {
    Replace("one");
    Replace("two");
    // A removal cut short, and a stale folder of a deleted document.
    fs::create_directories(HistoryRoot(folder) / ":gone:1-2-3");
    WriteBytes(HistoryRoot(folder) / ":gone:1-2-3" / "0000000001.version", "x");
    DocumentTable table;
    DocumentStore store(folder, table);
    store.DeleteStrayFiles();
    EXPECT_FALSE(fs::exists(HistoryRoot(folder) / ":gone:1-2-3"));
    EXPECT_EQ(Kept().size(), 1u);
    store.AddDocument(Page("Doc", "http://a/"));
    EXPECT_TRUE(Kept().empty());
}

}  // namespace
}  // namespace wardlet
