// When a check's record reaches disk: at once for a change or a failure, never after an edit or a
// delete of the same document that came meanwhile.
#include <sys/stat.h>

#include <condition_variable>
#include <cstring>
#include <optional>
#include <thread>

#include "common/little_endian.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/model/record_journal.h"
#include "monitor/model/record_writer.h"

namespace wardlet::test {
namespace {

using namespace std::chrono_literals;
using Status = DocumentStatus;

// Holds a commit of the record writer between writing its new files and renaming them.
class HeldCommit {
public:
    HeldCommit() {
        RecordWriter::SetBeforeMovesHookForTesting([this] {
            std::unique_lock guard(lock_);
            reached_ = true;
            changed_.notify_all();
            changed_.wait(guard, [&] { return released_; });
        });
    }
    ~HeldCommit() {
        Release();
        RecordWriter::SetBeforeMovesHookForTesting({});
    }
    bool AwaitReached() {
        std::unique_lock guard(lock_);
        return changed_.wait_for(guard, 60s, [&] { return reached_; });
    }
    void Release() {
        std::lock_guard guard(lock_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool reached_ = false, released_ = false;
};

class RecordWritesTest : public EngineTest {
protected:
    size_t AddCounted(const std::string& name) {
        peer_.SetPage(name, "aaa");
        return AddDocument(DocumentType::WebPage, name, peer_.Url(name), [](DocumentRecord& r) {
            r.useCount = 1;
            SetFieldText(r.countString, "a");
        });
    }
    size_t AddMiddle(const std::string& name) {
        peer_.SetPage(name, "<b>x</b>");
        return AddDocument(DocumentType::WebPage, name, peer_.Url(name), [](DocumentRecord& r) {
            r.useMiddle = 1;
            SetFieldText(r.middleStart, "<b>");
            SetFieldText(r.middleEnd, "</b>");
        });
    }
    // The record as its ".data" file holds it; nullopt when the file is not one record.
    std::optional<DocumentRecord> OnDisk(const std::string& name) {
        std::string bytes = ReadBytes(store_.DataFile(name));
        if (bytes.size() != kRecordSize) return std::nullopt;
        RecordBytes raw;
        memcpy(raw.data(), bytes.data(), raw.size());
        return RecordFromBytes(raw);
    }
    size_t LoadedAgain() {
        DocumentTable table;
        DocumentStore store(data_, table);
        return store.LoadAllDocuments().loaded;
    }
    // Checks without waiting for the writes (Check() commits them).
    void CheckQueued(size_t index) {
        engine_->CheckSelected({index});
        ASSERT_TRUE(engine_->WaitIdle(60s));
    }

    HttpPeer peer_;
};

TEST_F(RecordWritesTest, ADeleteDuringTheWriteOfACheckIsNeverUndone) {
    // A count writes the record and its copy; a first middle check the copy and the extract.
    for (bool middle : {false, true}) {
        std::string name = middle ? "m" : "c";
        size_t i = middle ? AddMiddle(name) : AddCounted(name);
        HeldCommit held;
        CheckQueued(i);
        ASSERT_TRUE(held.AwaitReached());
        store_.DeleteDocuments({name});
        held.Release();
        store_.FlushPendingWrites();
        EXPECT_FALSE(std::filesystem::exists(store_.DataFile(name)));
        EXPECT_FALSE(HasContent(name));
        EXPECT_FALSE(std::filesystem::exists(store_.MiddleFile(name)));
        EXPECT_TRUE(TempFiles().empty());
        EXPECT_EQ(LoadedAgain(), 0u) << "the deleted document came back";
    }
}

TEST_F(RecordWritesTest, AnEditWaitsForTheWriteOfACountAndThenHasTheLastWord) {
    struct Case {
        std::string oldName, newName;
        bool newCountString;  // else the edit keeps what the check compares
    };
    for (const auto& [oldName, newName, newCountString] :
         {Case{"old", "renamed", false}, Case{"same", "same", true}, Case{"was", "now", true}}) {
        SCOPED_TRACE(newName);
        size_t i = AddCounted(oldName);
        HeldCommit held;
        CheckQueued(i);  // first check: count 3 and the copy are being written
        ASSERT_TRUE(held.AwaitReached());
        DocumentRecord edited = table_.Get(i);
        SetFieldText(edited.name, newName);
        if (newCountString) SetFieldText(edited.countString, "aa");
        edited.status = static_cast<int32_t>(Status::Checked);  // no pass checks it afterwards
        edited.lastCount = 0;
        std::optional<EditOutcome> outcome;
        std::thread edit([&] { outcome = store_.EditDocument(i, edited); });
        // An edit that replaced the record now would drop the copy being written.
        std::this_thread::sleep_for(200ms);
        EXPECT_EQ(table_.Name(i), oldName) << "the edit did not wait for the write";
        held.Release();
        edit.join();
        EXPECT_EQ(outcome, EditOutcome::Saved);
        store_.FlushPendingWrites();
        if (newName != oldName) {
            EXPECT_FALSE(std::filesystem::exists(store_.DataFile(oldName)));
            EXPECT_FALSE(HasContent(oldName));
        }
        auto disk = OnDisk(newName);
        ASSERT_TRUE(disk);
        if (newCountString) {
            EXPECT_EQ(disk->lastCount, 0) << "the count of the old record came back";
            EXPECT_EQ(disk->status, int32_t(Status::Checked));
            EXPECT_FALSE(HasContent(newName));
        } else {
            EXPECT_EQ(disk->lastCount, 3) << "the count just written was lost";
            // Only an unseen change is kept; otherwise the edit's own status (here Checked).
            EXPECT_EQ(disk->status, int32_t(Status::Checked));
            EXPECT_EQ(Content(newName), "aaa");
        }
        EXPECT_EQ(ToBytes(table_.Get(i)), ToBytes(*disk));
        EXPECT_TRUE(TempFiles().empty());
        store_.DeleteDocuments({newName});
    }
}

TEST_F(RecordWritesTest, AChangeOrAFailureIsOnDiskWithoutTheExitSave) {
    TempDir files;
    auto watched = files.path() / "w";
    WriteBytes(watched, "one");
    size_t i = AddDocument(DocumentType::LocalFile, "w", watched.string());
    Check(i);
    EXPECT_EQ(OnDisk("w")->status, int32_t(Status::Checked)) << "Ready waits for the exit save";

    WriteBytes(watched, "two");
    CheckQueued(i);
    // Written by the background batch within a fraction of a second, no flush asked for; the
    // record goes first and the new copy after it, so both are waited for.
    for (int wait = 0;
         wait < 600 && (OnDisk("w")->status != int32_t(Status::Changed) || Content("w") != "two");
         ++wait)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(OnDisk("w")->status, int32_t(Status::Changed));
    EXPECT_EQ(Content("w"), "two");

    std::filesystem::remove(watched);
    table_.Modify(i, [](DocumentRecord& r) { r.status = 0; });
    Check(i);
    EXPECT_EQ(OnDisk("w")->status, int32_t(Status::Unavailable));
    EXPECT_EQ(Content("w"), "two");
}

// An exit save large enough to read its records on two threads, with a delete during it.
TEST_F(RecordWritesTest, ALargeSaveRewritesEveryRecordAndKeepsADeleteMadeDuringIt) {
    constexpr int kCount = 700;
    for (int i = 0; i < kCount; ++i)
        AddDocument(DocumentType::LocalFile, "doc " + std::to_string(i),
                    "/srv/f" + std::to_string(i));
    ino_t firstInode = InodeOf(data_ / "doc 0.data");
    for (size_t i = 0; i < table_.size(); ++i)
        table_.Modify(i, [&](DocumentRecord& r) {
            SetFieldText(r.lastCheck, "2026/12/08 [12:" + std::to_string(i % 60) + ":00]");
            r.status = static_cast<int32_t>(i % 2 ? Status::Changed : Status::Unavailable);
        });
    {
        HeldCommit held;
        std::thread save([&] { store_.SaveAllDocuments(); });
        ASSERT_TRUE(held.AwaitReached());
        EXPECT_TRUE(std::filesystem::exists(data_ / kRecordJournalFile));
        store_.DeleteDocuments({"doc 5"});
        held.Release();
        save.join();
    }
    EXPECT_FALSE(std::filesystem::exists(data_ / "doc 5.data")) << "a delete is never undone";
    EXPECT_FALSE(std::filesystem::exists(data_ / kRecordJournalFile));
    EXPECT_EQ(InodeOf(data_ / "doc 0.data"), firstInode);

    DocumentTable reloaded;
    DocumentStore again(data_, reloaded);
    ASSERT_EQ(again.LoadAllDocuments().loaded, size_t{kCount - 1});
    for (size_t i = 0; i < table_.size(); ++i) {
        if (table_.IsFree(i)) continue;
        DocumentRecord r = table_.Get(i);
        size_t loaded = again.FindRecordByName(FieldText(r.name));
        ASSERT_NE(loaded, DocumentTable::kNoSlot) << FieldText(r.name);
        auto a = ToBytes(r);
        auto b = ToBytes(reloaded.Get(loaded));
        ASSERT_EQ(a, b) << FieldText(r.name);
    }
}

}  // namespace
}  // namespace wardlet::test
