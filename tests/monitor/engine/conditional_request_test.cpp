// Conditional requests: the validators of the answer a stored copy came from, sent with its next
// check only while that copy and its comparison are still the ones they describe.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <tuple>

#include "common/little_endian.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/engine/validator_index.h"

namespace wardlet::test {
namespace {

using Status = DocumentStatus;
constexpr char kTagged[] = R"({"etag": "\"v1\"", "lastModified": "Tue, 01 Dec 2026 10:00:00 GMT"})";
constexpr char kBoth[] = "\"v1\"|Tue, 01 Dec 2026 10:00:00 GMT";
constexpr char kNone[] = "-|-";

// Name, inode, size and modification time of every file in a folder.
using FolderState = std::map<std::string, std::tuple<ino_t, off_t, int64_t>>;
FolderState StateOf(const std::filesystem::path& folder) {
    FolderState state;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        struct stat info;
        if (stat(entry.path().c_str(), &info) != 0) continue;
        state[entry.path().filename()] = {
            info.st_ino, info.st_size, info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
    }
    return state;
}

// The names of the files of a folder opened since the last call.
class OpenedFiles {
public:
    explicit OpenedFiles(const std::filesystem::path& folder)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, folder.c_str(), IN_OPEN);
    }
    ~OpenedFiles() { close(fd_); }
    std::set<std::string> Take() {
        std::set<std::string> names;
        alignas(inotify_event) char buffer[4096];
        ssize_t n;
        while ((n = read(fd_, buffer, sizeof buffer)) > 0) {
            for (char* at = buffer; at < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(at);
                if (event->len > 0) names.insert(event->name);
                at += sizeof(inotify_event) + event->len;
            }
        }
        return names;
    }

private:
    int fd_;
};

class ConditionalRequestTest : public EngineTest {
protected:
    HttpPeer peer_;

    size_t AddPage(const std::string& name, const std::function<void(DocumentRecord&)>& more = {}) {
        return AddDocument(DocumentType::WebPage, name, peer_.Url(name), more);
    }
    // A page checked by the count of "<li>".
    size_t AddCountPage(const std::string& name) {
        return AddPage(name, [](DocumentRecord& r) {
            r.useCount = 1;
            SetFieldText(r.countString, "<li>");
        });
    }
    // Checks once and returns what the request carried.
    std::string CheckedWith(size_t index, Status expected) {
        peer_.TakeConditions();
        EXPECT_EQ(Check(index).status, int32_t(expected));
        auto conditions = peer_.TakeConditions();
        EXPECT_EQ(conditions.size(), 1u);
        return conditions.empty() ? "" : conditions.back();
    }
};

TEST_F(ConditionalRequestTest, A304LeavesStatusCopyCountExtractAndEveryFileAsTheyWere) {
    peer_.SetPage("simple", "<p>simple</p>", kTagged);
    peer_.SetPage("count", "<li>a</li><li>b</li>", kTagged);
    peer_.SetPage("middle", "head [x] tail", kTagged);
    size_t simple = AddPage("simple");
    size_t count = AddCountPage("count");
    size_t middle = AddPage("middle", [](DocumentRecord& r) {
        r.useMiddle = 1;
        SetFieldText(r.middleStart, "[");
        SetFieldText(r.middleEnd, "]");
    });
    for (size_t i : {simple, count, middle})
        EXPECT_EQ(CheckedWith(i, Status::Ready), kNone);
    EXPECT_TRUE(std::filesystem::exists(data_ / kValidatorIndexFileName));
    FolderState before = StateOf(data_);
    for (size_t i : {simple, count, middle})
        EXPECT_EQ(CheckedWith(i, Status::Checked), kBoth);
    store_.FlushPendingWrites();
    EXPECT_EQ(StateOf(data_), before);  // not the record, the copy, the extract nor the index
    EXPECT_EQ(table_.Get(count).lastCount, 2);
    EXPECT_EQ(Content("middle"), "head [x] tail");

    // Another body with another tag: fetched whole, stored, and its own tag sent next time.
    peer_.SetPage("simple", "<p>new</p>", R"({"etag": "\"v2\""})");
    EXPECT_EQ(CheckedWith(simple, Status::Changed), kBoth);
    EXPECT_EQ(Content("simple"), "<p>new</p>");
    EXPECT_EQ(CheckedWith(simple, Status::Checked), "\"v2\"|-");

    // The index outlives the engine: a new one sends what the last one learnt.
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, QuickLimits());
    EXPECT_EQ(CheckedWith(count, Status::Checked), kBoth);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(ConditionalRequestTest, A304NeverOpensTheStoredCopyAndABodyIsComparedWithIt) {
    peer_.SetPage("simple", "<p>simple</p>", kTagged);
    peer_.SetPage("count", "<li>a</li>", kTagged);
    size_t simple = AddPage("simple");
    size_t count = AddCountPage("count");
    for (size_t i : {simple, count})
        EXPECT_EQ(CheckedWith(i, Status::Ready), kNone);
    store_.FlushPendingWrites();
    OpenedFiles opened(data_);
    for (size_t i : {simple, count})
        EXPECT_EQ(CheckedWith(i, Status::Checked), kBoth);
    std::set<std::string> seen = opened.Take();
    EXPECT_EQ(seen.count("simple.content"), 0u);
    EXPECT_EQ(seen.count("count.content"), 0u);

    // A body is compared with the copy opened when it comes: the same bytes make no new file.
    peer_.SetPage("simple", "<p>simple</p>", R"({"etag": "\"v2\""})");
    peer_.SetPage("count", "<li>a</li><li>b</li>", R"({"etag": "\"v2\""})");
    EXPECT_EQ(CheckedWith(simple, Status::Checked), kBoth);
    EXPECT_EQ(CheckedWith(count, Status::Changed), kBoth);
    EXPECT_EQ(opened.Take().count("simple.content"), 1u);
    EXPECT_EQ(Content("count"), "<li>a</li><li>b</li>");
    EXPECT_EQ(table_.Get(count).lastCount, 2);
    EXPECT_TRUE(TempFiles().empty());

    // A copy gone before the body comes: the check is a first one again.
    std::filesystem::remove(data_ / "simple.content");
    EXPECT_EQ(CheckedWith(simple, Status::Ready), kNone);
    EXPECT_EQ(Content("simple"), "<p>simple</p>");
}

TEST_F(ConditionalRequestTest, A304ToARequestWithoutValidatorsIsUnavailable) {
    // First check: there is nothing it could be "not modified" from.
    peer_.SetPage("liar", "never sent", R"({"always304": true})");
    size_t liar = AddPage("liar");
    EXPECT_EQ(CheckedWith(liar, Status::Unavailable), kNone);
    EXPECT_FALSE(HasContent("liar"));

    // A page that gave no validators, later answered with a 304 all the same.
    peer_.SetPage("plain", "plain page");
    size_t plain = AddPage("plain");
    EXPECT_EQ(CheckedWith(plain, Status::Ready), kNone);
    peer_.SetPage("plain", "plain page changed", R"({"always304": true})");
    EXPECT_EQ(CheckedWith(plain, Status::Unavailable), kNone);
    EXPECT_EQ(Content("plain"), "plain page");
    EXPECT_EQ(observer_.Calls().back(), "ended plain ** Unable to retrieve");
}

TEST_F(ConditionalRequestTest, WithTheSettingOffNoValidatorIsSentToALyingServer) {
    settings_.SetConditionalRequests(false);
    peer_.SetPage("p", "first body", kTagged);
    size_t i = AddPage("p");
    EXPECT_EQ(CheckedWith(i, Status::Ready), kNone);
    EXPECT_FALSE(std::filesystem::exists(data_ / kValidatorIndexFileName));
    // The server says "unchanged" whatever it is asked; the check is not misled.
    peer_.SetPage("p", "second body", R"({"always304": true, "etag": "\"v1\""})");
    EXPECT_EQ(CheckedWith(i, Status::Unavailable), kNone);
    peer_.SetPage("p", "second body", kTagged);
    EXPECT_EQ(CheckedWith(i, Status::Changed), kNone);
    EXPECT_EQ(Content("p"), "second body");
}

TEST_F(ConditionalRequestTest, ValidatorsGoWhenTheCopyOrTheComparisonTheyDescribeGoes) {
    peer_.SetPage("p", "the body", kTagged);
    size_t i = AddPage("p");
    EXPECT_EQ(CheckedWith(i, Status::Ready), kNone);
    EXPECT_EQ(CheckedWith(i, Status::Checked), kBoth);

    // A stored copy replaced by another file: its answer is not this copy's.
    WriteBytes(store_.ContentFile("p"), "someone else's bytes");
    EXPECT_EQ(CheckedWith(i, Status::Changed), kNone);
    EXPECT_EQ(Content("p"), "the body");
    EXPECT_EQ(CheckedWith(i, Status::Checked), kBoth);

    // The comparison edited: counting now, so the whole body must be seen once.
    table_.Modify(i, [](DocumentRecord& r) {
        r.useCount = 1;
        SetFieldText(r.countString, "body");
    });
    EXPECT_EQ(CheckedWith(i, Status::Changed), kNone);
    EXPECT_EQ(CheckedWith(i, Status::Checked), kBoth);

    // The copy deleted ("checked from scratch"): a first check again, with nothing to send.
    std::filesystem::remove(store_.ContentFile("p"));
    EXPECT_EQ(CheckedWith(i, Status::Ready), kNone);

    // Renamed by an edit that keeps the copy: the index knows the copy by its old name only.
    DocumentRecord renamed = table_.Get(i);
    SetFieldText(renamed.name, "q");
    ASSERT_EQ(store_.EditDocument(i, renamed), EditOutcome::Saved);
    EXPECT_EQ(CheckedWith(i, Status::Checked), kNone);

    // A failed check forgets them: the next one fetches the whole body.
    EXPECT_EQ(CheckedWith(i, Status::Checked), kBoth);
    peer_.SetPage("p", "", R"({"status": 500})");
    EXPECT_EQ(CheckedWith(i, Status::Unavailable), kBoth);
    peer_.SetPage("p", "the body", kTagged);
    EXPECT_EQ(CheckedWith(i, Status::Checked), kNone);
}

TEST_F(ConditionalRequestTest, AnUnreadableIndexOnlyCostsOneWholeFetch) {
    peer_.SetPage("p", "the body", kTagged);
    size_t i = AddPage("p");
    EXPECT_EQ(CheckedWith(i, Status::Ready), kNone);
    for (const char* damaged : {"{\"version\": 1, \"documents\": ", "[1, 2]",
                                "{\"version\": 1, \"documents\": {\"p\": {\"etag\": 5}}}"}) {
        SCOPED_TRACE(damaged);
        WriteBytes(data_ / kValidatorIndexFileName, damaged);
        engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, QuickLimits());
        EXPECT_EQ(CheckedWith(i, Status::Checked), kNone);
        EXPECT_EQ(CheckedWith(i, Status::Checked), kBoth);  // written afresh by that pass
    }
}

}  // namespace
}  // namespace wardlet::test
