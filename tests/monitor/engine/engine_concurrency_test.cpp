// The check threads: claims, triggers during a retrieval, edits and deletes meanwhile, stopping.
#include <set>
#include <thread>

#include "common/little_endian.h"
#include "engine_fixture.h"

namespace wardlet::test {
namespace {

using namespace std::chrono_literals;
using Status = DocumentStatus;

class EngineConcurrencyTest : public EngineTest {
protected:
    size_t AddPage(const std::string& name, DocumentStatus status = Status::Checked) {
        size_t i = AddDocument(DocumentType::WebPage, name, peer_.Url(name));
        table_.Modify(i, [&](DocumentRecord& r) { r.status = static_cast<int32_t>(status); });
        return i;
    }
    // Waits until the record is being retrieved.
    void AwaitRetrieving(size_t index) {
        for (int i = 0; i < 500 && StatusOf(index) != Status::Retrieving; ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_EQ(StatusOf(index), Status::Retrieving);
    }
    std::set<std::thread::id> CheckingThreads() {
        std::lock_guard guard(threadsLock_);
        return threads_;
    }
    void RecordThreads() {
        observer_.onCheckEnded = [this](size_t) {
            std::lock_guard guard(threadsLock_);
            threads_.insert(std::this_thread::get_id());
        };
    }

    HttpPeer peer_;
    std::mutex threadsLock_;
    std::set<std::thread::id> threads_;
};

TEST_F(EngineConcurrencyTest, ThreeThreadsCheckTenWaitingDocumentsExactlyOnce) {
    settings_.SetThreadCount(3);
    RecordThreads();
    for (int n = 0; n < 10; ++n) {
        std::string name = "doc" + std::to_string(n);
        peer_.SetPage(name, name, R"({"mode": "drip", "interval": 0.02})");
        AddPage(name, Status::Waiting);
    }
    engine_->StartCheckThreads();
    ASSERT_TRUE(engine_->WaitIdle(60s));
    for (size_t i = 0; i < 10; ++i) {
        std::string name = "doc" + std::to_string(i);
        DocumentRecord r = table_.Get(i);
        EXPECT_EQ(r.status, int32_t(Status::Ready)) << name;
        EXPECT_FALSE(FieldText(r.lastCheck).empty()) << name;
        EXPECT_EQ(observer_.EndedCount(name), 1u) << name;
        EXPECT_EQ(peer_.Hits(name), 1u) << name;
    }
    EXPECT_GT(CheckingThreads().size(), 1u);
}

TEST_F(EngineConcurrencyTest, CheckAllDuringARetrievalDoesNotCheckItTwice) {
    peer_.SetPage("slow", "slow page", R"({"mode": "drip", "interval": 0.1})");
    peer_.SetPage("fast", "fast page");
    size_t slow = AddPage("slow");
    size_t fast = AddPage("fast", Status::Changed);  // acknowledged changes are not queued
    engine_->CheckSelected({slow});
    AwaitRetrieving(slow);
    engine_->QueueAllForCheck();
    engine_->CheckSelected({slow, fast});
    ASSERT_TRUE(engine_->WaitIdle(60s));
    EXPECT_EQ(peer_.Hits("slow"), 1u);
    EXPECT_EQ(observer_.EndedCount("slow"), 1u);
    EXPECT_EQ(StatusOf(slow), Status::Ready);
    EXPECT_EQ(StatusOf(fast), Status::Changed);
    EXPECT_EQ(peer_.Hits("fast"), 0u);
}

TEST_F(EngineConcurrencyTest, ThreadCountOutsideOneToFiveGivesOneThreadAndIsCorrected) {
    RecordThreads();
    for (int32_t count : {0, 9, -1}) {
        settings_.SetThreadCount(count);
        for (int n = 0; n < 3; ++n) {
            std::string name = "t" + std::to_string(count) + "_" + std::to_string(n);
            peer_.SetPage(name, "x", R"({"mode": "drip", "interval": 0.05})");
            AddPage(name, Status::Waiting);
        }
        engine_->StartCheckThreads();
        ASSERT_TRUE(engine_->WaitIdle(60s));
        EXPECT_EQ(settings_.threadCount(), 1);
        EXPECT_EQ(CheckingThreads().size(), 1u);
        std::lock_guard guard(threadsLock_);
        threads_.clear();
    }
}

TEST_F(EngineConcurrencyTest, EditAndDeleteDuringACheckDropItsResults) {
    peer_.SetPage("edited", "old", R"({"mode": "drip", "interval": 0.2})");
    peer_.SetPage("deleted", "old", R"({"mode": "drip", "interval": 0.2})");
    size_t edited = AddPage("edited");
    size_t deleted = AddPage("deleted");
    engine_->CheckSelected({edited, deleted});
    AwaitRetrieving(edited);
    DocumentRecord staged = table_.Get(edited);
    SetFieldText(staged.name, "renamed");
    staged.status = static_cast<int32_t>(Status::Waiting);
    EXPECT_EQ(store_.EditDocument(edited, staged), EditOutcome::Saved);
    AwaitRetrieving(deleted);
    store_.DeleteDocuments({"deleted"});
    ASSERT_TRUE(engine_->WaitIdle(60s));

    DocumentRecord after = table_.Get(edited);
    EXPECT_EQ(FieldText(after.name), "renamed");
    EXPECT_EQ(after.status, int32_t(Status::Waiting));  // next pass makes the first check
    EXPECT_TRUE(FieldText(after.lastCheck).empty());
    EXPECT_TRUE(table_.IsFree(deleted));
    EXPECT_EQ(table_.Get(deleted).status, 0);
    EXPECT_FALSE(HasContent("edited"));
    EXPECT_FALSE(HasContent("renamed"));
    EXPECT_FALSE(HasContent("deleted"));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(EngineConcurrencyTest, StopAbortsATransferInFlightAndLeavesTheRecordWaiting) {
    peer_.SetPage("silent", "never sent", R"({"mode": "silent"})");
    size_t i = AddPage("silent");
    // The product's limits: only the stop can end this check soon.
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, TransferLimits{});
    engine_->CheckSelected({i});
    AwaitRetrieving(i);
    auto started = std::chrono::steady_clock::now();
    engine_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    DocumentRecord r = table_.Get(i);
    EXPECT_EQ(r.status, int32_t(Status::Waiting));
    EXPECT_TRUE(FieldText(r.lastCheck).empty());
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(EngineConcurrencyTest, AnEscapingErrorEndsTheRecordUnavailableAndThePassGoesOn) {
    peer_.SetPage("first", "1");
    peer_.SetPage("second", "2");
    size_t first = AddPage("first", Status::Waiting);
    size_t second = AddPage("second", Status::Waiting);
    observer_.throwOnRefresh = true;
    engine_->StartCheckThreads();
    ASSERT_TRUE(engine_->WaitIdle(60s));
    DocumentRecord r = table_.Get(first);
    EXPECT_EQ(r.status, int32_t(Status::Unavailable));
    EXPECT_FALSE(FieldText(r.lastCheck).empty());
    EXPECT_EQ(StatusOf(second), Status::Ready);
}

TEST_F(EngineConcurrencyTest, NotifiedDocumentsStillListedAreTakenOnceTheMailerStarted) {
    peer_.SetPage("n", "1");
    peer_.SetPage("unlisted", "1");
    size_t i = AddPage("n");
    size_t unlisted = AddPage("unlisted");
    Check(i);
    Check(unlisted);
    for (std::string body : {"2", "3"}) {
        peer_.SetPage("n", body);
        peer_.SetPage("unlisted", body);
        Check(i);
        Check(unlisted);
    }
    list_.RemoveRow(unlisted);
    EXPECT_EQ(engine_->mail().NotifiedDocuments(), (std::vector<size_t>{i, unlisted, i, unlisted}));
    std::vector<size_t> taken = engine_->mail().TakeNotifiedDocuments(
        [&](size_t index) { return list_.FindRowOfRecord(index).has_value(); });
    EXPECT_EQ(taken, (std::vector<size_t>{i, i}));
    EXPECT_EQ(engine_->mail().NotifiedDocuments(), (std::vector<size_t>{unlisted, unlisted}));
}

}  // namespace
}  // namespace wardlet::test
