// Web pages and web files against the tests' HTTP peer on loopback.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <thread>

#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "file_bytes.h"
#include "monitor/changes/change_view.h"
#include "monitor/model/feature_settings.h"
#include "monitor/model/version_history.h"
#include "web_check_fixture.h"

namespace wardlet::test {
namespace {

TEST_F(WebCheckTest, SimpleComparisonStoresComparesAndReplacesTheCopy) {
    peer_.SetPage("p", "line one\r\nline two\n");
    size_t i = AddPage("p");
    DocumentRecord first = Check(i);
    EXPECT_EQ(first.status, int32_t(Status::Ready));
    EXPECT_FALSE(FieldText(first.lastCheck).empty());
    EXPECT_EQ(Content("p"), "line one\r\nline two\n");
    EXPECT_EQ(observer_.Calls(), (std::vector<std::string>{"ended p Ready"}));

    EXPECT_EQ(Check(i).status, int32_t(Status::Checked));
    observer_.Calls();

    // One byte longer, then one byte shorter: both are changes, announced before the status,
    // with the line counts of that change (the page's text is one line: it has no blocks).
    for (std::string body : {"line one\r\nline two\nX", "line one\r\nline two"}) {
        peer_.SetPage("p", body);
        EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
        EXPECT_EQ(Content("p"), body);
        EXPECT_EQ(observer_.Calls(),
                  (std::vector<std::string>{"sound 2", "select 0", "tray", "ended p ** Changed"}));
        EXPECT_EQ(observer_.trayLines, "+1 -1") << body;
    }
    EXPECT_NE(MailQueue().find(" Changed: p\r\r\n" + peer_.Url("p") + "\r\r\n\r\r\n"),
              std::string::npos);
    EXPECT_EQ(engine_->mail().NotifiedDocuments(), (std::vector<size_t>{i, i}));
    EXPECT_TRUE(TempFiles().empty());
}

// Counts the files created, renamed into or removed from a folder while it lives.
class FolderEvents {
public:
    explicit FolderEvents(const std::filesystem::path& folder)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_DELETE);
    }
    ~FolderEvents() { close(fd_); }
    size_t Count() {
        alignas(inotify_event) char buffer[64 * 1024];
        size_t events = 0;
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < n; ++events)
                at += sizeof(inotify_event) + reinterpret_cast<inotify_event*>(buffer + at)->len;
        return events;
    }

private:
    int fd_;
};

TEST_F(WebCheckTest, AnUnchangedPageLeavesTheFolderAloneAndEveryDifferenceIsStoredExactly) {
    const std::string body(200 * 1024, 'a');  // several pieces of the transfer
    peer_.SetPage("p", body);
    size_t i = AddPage("p");
    ASSERT_EQ(Check(i).status, int32_t(Status::Ready));
    store_.FlushPendingWrites();
    auto before = FolderInodes(data_);
    FolderEvents events(data_);
    for (int pass = 0; pass < 3; ++pass)
        EXPECT_EQ(Check(i).status, int32_t(Status::Checked));
    store_.FlushPendingWrites();
    EXPECT_EQ(events.Count(), 0u);  // not even a temporary file made and removed again
    EXPECT_EQ(FolderInodes(data_), before);

    std::string lastByte = body, firstByte = body;
    lastByte.back() = 'b';
    firstByte.front() = 'b';
    for (const std::string& changed :
         {lastByte, firstByte, body.substr(0, 150 * 1024), body + "tail", std::string()}) {
        peer_.SetPage("p", changed);
        EXPECT_EQ(Check(i).status, int32_t(Status::Changed)) << changed.size();
        store_.FlushPendingWrites();
        EXPECT_EQ(Content("p"), changed) << changed.size();
        peer_.SetPage("p", body);  // back to the start for the next case
        EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    }
    store_.FlushPendingWrites();
    EXPECT_EQ(Content("p"), body);
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebCheckTest, AnUnchangedCountPageMakesNoFileAndAnEditedStringCountsTheStoredCopy) {
    peer_.SetPage("c", "<li>a</li><li>b</li>");
    size_t i = AddPage("c", [](DocumentRecord& r) {
        r.useCount = 1;
        SetFieldText(r.countString, "<li>");
    });
    ASSERT_EQ(Check(i).lastCount, 2);
    store_.FlushPendingWrites();
    FolderEvents events(data_);
    EXPECT_EQ(Check(i).status, int32_t(Status::Checked));
    store_.FlushPendingWrites();
    EXPECT_EQ(events.Count(), 0u);

    // The same page counted for another string: a change of the count, the stored copy kept.
    table_.Modify(i, [](DocumentRecord& r) { SetFieldText(r.countString, "</li><li>"); });
    DocumentRecord edited = Check(i);
    EXPECT_EQ(edited.status, int32_t(Status::Changed));
    EXPECT_EQ(edited.lastCount, 1);
    store_.FlushPendingWrites();
    EXPECT_EQ(Content("c"), "<li>a</li><li>b</li>");

    peer_.SetPage("c", "<li>a</li><li>b</li><li>c</li>");
    EXPECT_EQ(Check(i).lastCount, 2);
    store_.FlushPendingWrites();
    EXPECT_EQ(Content("c"), "<li>a</li><li>b</li><li>c</li>");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebCheckTest, ErrorStatusIsUnavailableAndKeepsTheGoodCopy) {
    // A first check stores nothing.
    size_t missing = AddPage("missing");
    EXPECT_EQ(Check(missing).status, int32_t(Status::Unavailable));
    EXPECT_FALSE(HasContent("missing"));
    EXPECT_EQ(observer_.Calls(), (std::vector<std::string>{"sound 3", "select 0", "tray",
                                                           "ended missing ** Unable to retrieve"}));

    peer_.SetPage("e", "the good page");
    size_t i = AddPage("e");
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    for (const char* status : {"404", "503", "500"}) {
        SCOPED_TRACE(status);
        peer_.SetPage("e", std::string("error page ") + status,
                      std::string(R"({"status": )") + status + "}");
        EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
        EXPECT_EQ(Content("e"), "the good page");
    }
    peer_.SetPage("e", "", R"({"status": 503})");  // an error without a body is one too
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_NE(MailQueue().find(" Unable to retrieve: e\r\r\n"), std::string::npos);
    EXPECT_EQ(MailQueue().find(" Changed: e"), std::string::npos);
    peer_.SetPage("e", "the good page");
    EXPECT_EQ(Check(i).status, int32_t(Status::Checked)) << "the page came back unchanged";
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebCheckTest, EndlessBodyStopsAtTheSizeLimit) {
    EXPECT_EQ(TransferLimits().maxDocumentBytes, 256 << 20);
    EXPECT_EQ(ParseByteSize("1M"), 1 << 20);
    EXPECT_EQ(ParseByteSize("4096"), 4096);
    for (const char* bad : {"", "0", "-1", "12X", "M", "99999999999G"})
        EXPECT_FALSE(ParseByteSize(bad)) << bad;
    setenv("WARDLET_MAX_DOCUMENT_BYTES", "1M", 1);
    TransferLimits limits = TransferLimits::FromEnvironment();
    unsetenv("WARDLET_MAX_DOCUMENT_BYTES");
    EXPECT_EQ(limits.maxDocumentBytes, 1 << 20);
    limits.connectTimeoutSeconds = QuickLimits().connectTimeoutSeconds;
    limits.lowSpeedSeconds = QuickLimits().lowSpeedSeconds;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    peer_.SetPage("big", std::string(1 << 20, 'b'));  // exactly the limit: still a document
    size_t i = AddPage("big", {}, DocumentType::WebFile);
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));

    peer_.SetPage("big", "endless ", R"({"mode": "endless"})");
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(Content("big"), std::string(1 << 20, 'b'));
    EXPECT_TRUE(TempFiles().empty());
    // The transfer stopped at the limit: the peer could only push what the socket buffers take.
    std::string sent;
    for (int wait = 0; wait < 600 && sent.empty(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sent = peer_.Read("big.sent");
    }
    ASSERT_FALSE(sent.empty());
    EXPECT_LT(std::stoll(sent), 64ll << 20);

    // A length announced beyond the limit is refused before the body.
    peer_.SetPage("big", std::string((1 << 20) + 1, 'c'));
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(Content("big"), std::string(1 << 20, 'b'));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebCheckTest, RedirectsAreFollowed) {
    peer_.SetPage("target", "where it went");
    peer_.SetPage("moved", "", R"({"redirect": "/target"})");
    size_t moved = AddPage("moved", {}, DocumentType::WebFile);
    EXPECT_EQ(Check(moved).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("moved"), "where it went");
    EXPECT_EQ(Check(moved).status, int32_t(Status::Checked));
}

TEST_F(WebCheckTest, AccountGoesApartFromTheAddressSoAnyCharacterWorks) {
    const std::string user = "us@er:x", password = "p/w:@#%?";
    peer_.SetPage("secret", "for members", R"({"auth": "us@er:x:p/w:@#%?"})");
    size_t i = AddPage("secret", [&](DocumentRecord& r) {
        r.useAccount = 1;
        SetFieldText(r.userName, user);
        SetFieldText(r.password, password);
    });
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("secret"), "for members");
}

TEST_F(WebCheckTest, BrokenTransferIsUnavailableAndLeavesTheStoredCopyAlone) {
    const std::string body(200000, 'r');
    peer_.SetPage("r", body, R"({"mode": "reset"})");
    size_t i = AddPage("r");
    // First check: no partial copy is left behind.
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_FALSE(HasContent("r"));
    EXPECT_EQ(observer_.Calls(), (std::vector<std::string>{"sound 3", "select 0", "tray",
                                                           "ended r ** Unable to retrieve"}));
    EXPECT_NE(MailQueue().find(" Unable to retrieve: r\r\r\n"), std::string::npos);

    peer_.SetPage("r", "complete");
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    for (const char* mode : {"reset", "stall", "silent"}) {
        SCOPED_TRACE(mode);
        peer_.SetPage("r", body, std::string(R"({"mode": ")") + mode + "\"}");
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
        EXPECT_EQ(Content("r"), "complete");
    }
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebCheckTest, SlowDripIsFetchedWholeWhileTooSlowADripIsAbandoned) {
    peer_.SetPage("d", "drip", R"({"mode": "drip", "interval": 0.3})");
    size_t i = AddPage("d");
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("d"), "drip");
    peer_.SetPage("d", "dripping", R"({"mode": "drip", "interval": 3})");
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(Content("d"), "drip");
}

TEST_F(WebCheckTest, ASteadyDripEndsAtTheOverallTimeLimit) {
    EXPECT_EQ(TransferLimits().maxTransferSeconds, 600);
    setenv("WARDLET_MAX_TRANSFER_SECONDS", "3", 1);
    TransferLimits limits = TransferLimits::FromEnvironment();
    unsetenv("WARDLET_MAX_TRANSFER_SECONDS");
    ASSERT_EQ(limits.maxTransferSeconds, 3);
    limits.connectTimeoutSeconds = 2;
    limits.lowSpeedSeconds = 2;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    peer_.SetPage("t", "first");
    size_t i = AddPage("t");
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    // Fast enough for the low-speed rule, never done within the limit.
    peer_.SetPage("t", "a drip that would take a minute to end",
                  R"({"mode": "drip", "interval": 0.9})");
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(Content("t"), "first");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebCheckTest, CountMethodStoresTheCountAndSavesItAtOnce) {
    peer_.SetPage("c", "xaaaax");
    size_t i = AddPage("c", [](DocumentRecord& r) {
        r.useCount = 1;
        r.useMiddle = 1;  // counting wins
        SetFieldText(r.countString, "aa");
        SetFieldText(r.middleStart, "nowhere");
        SetFieldText(r.middleEnd, "nowhere");
    });
    auto saved = [&] {
        RecordBytes bytes{};
        std::string file = ReadBytes(store_.DataFile("c"));
        memcpy(bytes.data(), file.data(), std::min(file.size(), bytes.size()));
        return RecordFromBytes(bytes);
    };
    EXPECT_EQ(Check(i).lastCount, 3);
    EXPECT_EQ(StatusOf(i), Status::Ready);
    EXPECT_EQ(saved().lastCount, 3);

    // Zero bytes drop out: "aa aa aa aa" counts 4.
    peer_.SetPage("c", std::string("aa a\0a aa aa", 12));
    DocumentRecord changed = Check(i);
    EXPECT_EQ(changed.status, int32_t(Status::Changed));
    EXPECT_EQ(changed.lastCount, 4);
    EXPECT_EQ(saved().lastCount, 4);
    EXPECT_EQ(saved().status, int32_t(Status::Changed));
    EXPECT_EQ(Content("c"), std::string("aa a\0a aa aa", 12));

    peer_.SetPage("c", "aaaaa with other text");
    EXPECT_EQ(Check(i).status, int32_t(Status::Checked));
    EXPECT_EQ(Content("c"), std::string("aa a\0a aa aa", 12));  // replaced only on a change
}

TEST_F(WebCheckTest, MiddleMethodComparesOnlyTheExtract) {
    auto middle = [](DocumentRecord& r) {
        r.useMiddle = 1;
        SetFieldText(r.middleStart, "[b]");
        SetFieldText(r.middleEnd, "[/b]");
    };
    peer_.SetPage("m", "x[b]42\xe9[/b]y");
    size_t i = AddPage("m", middle);
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    EXPECT_EQ(ReadBytes(store_.MiddleFile("m")), "42\xe9");
    {
        store_.FlushPendingWrites();
        FolderEvents events(data_);
        EXPECT_EQ(Check(i).status, int32_t(Status::Checked));
        store_.FlushPendingWrites();
        EXPECT_EQ(events.Count(), 0u);  // the same page: no copy and no extract made
    }

    peer_.SetPage("m", "other text [b]42\xe9[/b] around");
    EXPECT_EQ(Check(i).status, int32_t(Status::Checked));
    peer_.SetPage("m", "[b]43[/b]");
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    store_.FlushPendingWrites();
    EXPECT_EQ(ReadBytes(store_.MiddleFile("m")), "43");
    EXPECT_EQ(Content("m"), "[b]43[/b]");
    observer_.Calls();

    // The strings gone: a later check announces; a first check shows the message instead.
    peer_.SetPage("m", "[b]42");
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(observer_.Calls().front(), "sound 3");
    EXPECT_EQ(ReadBytes(store_.MiddleFile("m")), "43");

    peer_.SetPage("n", "[b]42");
    size_t j = AddPage("n", middle);
    EXPECT_EQ(Check(j).status, int32_t(Status::Unavailable));
    EXPECT_EQ(observer_.Calls(),
              (std::vector<std::string>{"message " + std::string(kMiddleStringsMissing),
                                        "ended n ** Unable to retrieve"}));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(WebCheckTest, ChangedPageIsOpenedWhenAskedAndOnlyAnnouncedEventsAreMailed) {
    NotifySettings notify;
    notify.openPageOnChange = true;
    notify.mailQueueActive = true;
    notify.mail.sendOnChange = 1;  // failures are not mailed
    settings_.SetNotification(notify);
    peer_.SetPage("o", "one");
    size_t i = AddPage("o");
    Check(i);
    peer_.SetPage("o", "two");
    Check(i);
    EXPECT_EQ(observer_.Calls(),
              (std::vector<std::string>{"ended o Ready", "tray", "open 0", "ended o ** Changed"}));
    peer_.SetPage("o", "three", R"({"mode": "reset"})");
    Check(i);
    EXPECT_EQ(MailQueue().find("Unable"), std::string::npos);
    EXPECT_NE(MailQueue().find(" Changed: o"), std::string::npos);
    EXPECT_TRUE(engine_->mail().NotifiedDocuments().empty());  // markNotifiedChecked is off

    notify.mailQueueActive = false;  // sendEmail off: nothing is queued whatever the config says
    settings_.SetNotification(notify);
    peer_.SetPage("o", "four");
    std::string before = MailQueue();
    EXPECT_EQ(Check(i).status, int32_t(Status::Changed));
    EXPECT_EQ(MailQueue(), before);
}

TEST_F(WebCheckTest, GzipSentUnaskedIsDecodedForEveryMethod) {
    const std::string page = "<ul><li>one</li><li>two</li></ul> [b]42[/b]";
    const char* gzip = R"({"gzip": true})";
    peer_.SetPage("z", page, gzip);
    size_t plain = AddPage("z");
    size_t count = AddPage("zc", [](DocumentRecord& r) {
        r.useCount = 1;
        SetFieldText(r.countString, "<li>");
    });
    size_t middle = AddPage("zm", [](DocumentRecord& r) {
        r.useMiddle = 1;
        SetFieldText(r.middleStart, "[b]");
        SetFieldText(r.middleEnd, "[/b]");
    });
    for (size_t i : {count, middle})
        table_.Modify(i, [&](DocumentRecord& r) { SetFieldText(r.location, peer_.Url("z")); });
    EXPECT_EQ(Check(plain).status, int32_t(Status::Ready));
    EXPECT_EQ(Content("z"), page);  // the page's own bytes, not the gzip ones
    EXPECT_EQ(Check(count).lastCount, 2);
    EXPECT_EQ(Check(middle).status, int32_t(Status::Ready));
    EXPECT_EQ(ReadBytes(store_.MiddleFile("zm")), "42");
    EXPECT_NE(peer_.Read("encodings").find("gzip"), std::string::npos);  // asked for, too

    // The same text plain, then compressed again: nothing changed for any method.
    for (const char* meta : {"", gzip}) {
        peer_.SetPage("z", page, meta);
        for (size_t i : {plain, count, middle})
            EXPECT_EQ(Check(i).status, int32_t(Status::Checked)) << meta << " " << i;
    }
    peer_.SetPage("z", page + "<li>three</li>", gzip);
    EXPECT_EQ(Check(count).lastCount, 3);
    EXPECT_EQ(StatusOf(count), Status::Changed);
}

TEST_F(WebCheckTest, GzipBombStopsAtTheDecodedLimit) {
    TransferLimits limits = QuickLimits();
    limits.maxDocumentBytes = 1 << 20;
    engine_ = std::make_unique<CheckEngine>(store_, settings_, observer_, limits);
    peer_.SetPage("bomb", "small", R"({"gzip": true})");
    size_t i = AddPage("bomb");
    EXPECT_EQ(Check(i).status, int32_t(Status::Ready));
    // 16 MiB of zeros come as about 16 KiB on the wire, far below the limit.
    peer_.SetPage("bomb", std::string(16 << 20, '\0'), R"({"gzip": true})");
    EXPECT_EQ(Check(i).status, int32_t(Status::Unavailable));
    EXPECT_EQ(Content("bomb"), "small");
    EXPECT_TRUE(TempFiles().empty());
}

}  // namespace
}  // namespace wardlet::test
