// The shell opening documents, starting the mailer and ending the program.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "common/mailer_launch.h"
#include "engine_fixture.h"
#include "fake_command_dialogs.h"
#include "file_bytes.h"
#include "monitor/app/list_rows.h"
#include "monitor/app/monitor_command_line.h"
#include "monitor/app/open_target.h"
#include "monitor/model/feature_settings.h"
#include "shell_fixture.h"

namespace wardlet::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

class MailerShellTest : public ShellTest {
protected:
    void SetUp() override {
        WriteOptions([](MonitorOptions& o) { o.sendEmail = 1; });
        MailConfig config{};
        config.sendOnChange = config.sendOnUnreachable = 1;
        config.markNotifiedChecked = 1;
        ASSERT_TRUE(WriteMailConfig(data_ / kMailConfigFile, config));
        WriteDocument(DocumentType::WebPage, "twice", "http://127.0.0.1:9/",
                      DocumentStatus::Changed);
        StartShell();
    }
    void Notify(const std::string& name) {
        size_t index = IndexOf(name);
        ASSERT_TRUE(doc_->QueueMailEntry(index, NotifyKind::Changed));
    }
};

TEST_F(MailerShellTest, StartsTheMailerOnlyWithAQueueAndMarksEveryNotifiedEntry) {
    shell_->OnTimer(TimerId::Mailer);
    EXPECT_TRUE(launcher_.starts.empty());
    Notify("twice");
    Notify("twice");
    EXPECT_EQ(doc_->NotifiedDocuments().size(), 2u);
    shell_->OnTimer(TimerId::Mailer);
    ASSERT_EQ(launcher_.starts.size(), 1u);
    EXPECT_EQ(launcher_.starts[0].program, install_.path() / "Wardpost");
    EXPECT_THAT(launcher_.starts[0].arguments, ElementsAre("/from_wardlet"));
    EXPECT_EQ(StatusOf("twice"), DocumentStatus::Checked);
    EXPECT_TRUE(doc_->NotifiedDocuments().empty());
}

TEST_F(MailerShellTest, AFailedStartShowsOneBoxAtATime) {
    Notify("twice");
    launcher_.succeed = false;
    // While the box is open the timer goes on ticking.
    boxes_.onShow = [&] {
        boxes_.onShow = nullptr;
        shell_->OnTimer(TimerId::Mailer);
        shell_->OnTimer(TimerId::Mailer);
    };
    shell_->OnTimer(TimerId::Mailer);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, kCannotExecuteMailer);
    EXPECT_EQ(boxes_.shown[0].icon, MessageIcon::Stop);
    EXPECT_EQ(launcher_.starts.size(), 3u);
    EXPECT_EQ(StatusOf("twice"), DocumentStatus::Changed);  // nothing marked
    shell_->OnTimer(TimerId::Mailer);                       // the box was closed: it comes again
    EXPECT_EQ(boxes_.shown.size(), 2u);
}

class OpenShellTest : public ShellTest {
protected:
    void Open(const std::string& name, bool messages = true) {
        shell_->OpenRecord(IndexOf(name), messages);
    }
};

TEST_F(OpenShellTest, WebPagesOpenLiveWithSchemeRestAndAccount) {
    WriteDocument(DocumentType::WebPage, "plain", "example.org/a");
    WriteDocument(DocumentType::WebPage, "secure", "HTTPS://example.org/b");
    WriteDocument(DocumentType::WebPage, "account", "http://example.org/c", DocumentStatus::Changed,
                  [](DocumentRecord& r) {
                      r.useAccount = 1;
                      SetFieldText(r.userName, "ann");
                      SetFieldText(r.password, "pw");
                  });
    StartShell();
    Open("plain");
    Open("secure");
    Open("account");
    EXPECT_THAT(opener_.urls, ElementsAre("http://example.org/a", "https://example.org/b",
                                          "http://ann:pw@example.org/c"));
    EXPECT_EQ(StatusOf("account"), DocumentStatus::Checked);  // markCheckedOnOpen
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(OpenShellTest, FilesOpenFromACopyOfTheStoredContentOrSayWhyNot) {
    WriteOptions([](MonitorOptions& o) { o.markCheckedOnOpen = 0; });
    WriteDocument(DocumentType::LocalFile, "list", "C:\\data\\list.txt", DocumentStatus::Changed);
    WriteDocument(DocumentType::WebFile, "report", "http://h/x/report.pdf");
    WriteDocument(DocumentType::FtpFile, "noname", "report", DocumentStatus::Checked);
    WriteBytes(data_ / "list.content", "stored bytes");
    WriteBytes(data_ / "noname.content", "x");
    StartShell();
    Open("list");
    ASSERT_EQ(opener_.files.size(), 1u);
    std::string copy = opener_.files[0].filename().string();
    // In a folder of their own, which only the user can enter; made off this thread.
    EXPECT_EQ(opener_.files[0].parent_path(), data_ / "opened");
    struct stat folder {};
    ASSERT_EQ(lstat((data_ / "opened").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
    EXPECT_THAT(copies_.captions, ElementsAre(kOpeningCaption));
    ASSERT_EQ(copies_.threads.size(), 1u);
    EXPECT_NE(copies_.threads[0], std::this_thread::get_id());
    EXPECT_EQ(copy.rfind("UVP", 0), 0u) << copy;
    EXPECT_NE(copy.find(".tmp_list.txt"), std::string::npos) << copy;
    EXPECT_EQ(copy.size() - copy.find(".tmp_list.txt"), std::string(".tmp_list.txt").size());
    EXPECT_EQ(ReadBytes(opener_.files[0]), "stored bytes");
    EXPECT_EQ(StatusOf("list"), DocumentStatus::Changed);  // markCheckedOnOpen off

    Open("report", false);  // quiet: nothing shown
    EXPECT_TRUE(boxes_.shown.empty());
    Open("report");
    Open("noname");
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[0].text, kNotDownloadedYet);
    EXPECT_EQ(boxes_.shown[0].icon, MessageIcon::Information);
    EXPECT_EQ(boxes_.shown[1].text, kInvalidLocation);
    EXPECT_EQ(boxes_.shown[1].icon, MessageIcon::Exclamation);
    EXPECT_EQ(opener_.files.size(), 1u);
}

TEST_F(OpenShellTest, APlantedLinkIsNotFollowedAndACancelledCopyOpensNothing) {
    TempDir elsewhere;
    WriteBytes(elsewhere.path() / "secret", "the user's private file");
    WriteDocument(DocumentType::LocalFile, "list", "/srv/list.txt", DocumentStatus::Changed);
    WriteDocument(DocumentType::LocalFile, "other", "/srv/other.txt", DocumentStatus::Changed);
    std::filesystem::create_symlink(elsewhere.path() / "secret", data_ / "list.content");
    WriteBytes(data_ / "other.content", "stored");
    StartShell();
    Open("list");
    EXPECT_TRUE(opener_.files.empty());
    EXPECT_THAT(boxes_.Texts(), ElementsAre(kNotDownloadedYet));
    // A link planted as the folder of the copies is not written through either.
    std::filesystem::create_directory_symlink(elsewhere.path(), data_ / "opened");
    Open("other");
    EXPECT_TRUE(opener_.files.empty());
    std::filesystem::remove(data_ / "opened");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(elsewhere.path()), {}), 1);

    copies_.cancel = true;
    Open("other");
    EXPECT_TRUE(opener_.files.empty());
    EXPECT_EQ(StatusOf("other"), DocumentStatus::Changed);  // nothing opened, nothing seen
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data_ / "opened"), {}), 0);
}

TEST_F(OpenShellTest, AFileOpenedRightAfterItsCheckShowsTheNewCopy) {
    TempDir files;
    WriteBytes(files.path() / "list.txt", "new copy");
    WriteDocument(DocumentType::LocalFile, "list", (files.path() / "list.txt").string());
    WriteBytes(data_ / "list.content", "old copy");
    StartShell();
    // The check leaves the new copy in the writer's batch for up to its gather time.
    doc_->CheckSelected({IndexOf("list")});
    ASSERT_TRUE(ui_.PumpUntil([&] { return doc_->ChecksIdle(); }));
    ASSERT_EQ(StatusOf("list"), DocumentStatus::Changed);
    Open("list");
    ASSERT_EQ(opener_.files.size(), 1u);
    EXPECT_EQ(ReadBytes(opener_.files[0]), "new copy");
}

TEST(LocationFileNameTest, ScansBackToTheLastSeparator) {
    EXPECT_EQ(LocationFileName("ftp://h/a/b.zip"), "b.zip");
    EXPECT_EQ(LocationFileName("C:\\dir\\x.txt"), "x.txt");
    EXPECT_EQ(LocationFileName("/x"), std::nullopt);  // the first character never counts
    EXPECT_EQ(LocationFileName("a/b\nc"), std::nullopt);
    EXPECT_EQ(LocationFileName("plain"), std::nullopt);
}

class ShutdownShellTest : public ShellTest {};

TEST_F(ShutdownShellTest, StopsTheChecksThenSavesAndNothingReachesTheWindowAfterwards) {
    HttpPeer peer;
    peer.SetPage("slow", std::string(200, 'x'), R"({"mode": "drip", "interval": 0.2})");
    WriteDocument(DocumentType::WebPage, "slow", peer.Url("slow"));
    StartShell();
    shell_->OnTimer(TimerId::StartupCheck);
    ASSERT_TRUE(ui_.PumpUntil([&] { return StatusOf("slow") == DocumentStatus::Retrieving; }));
    log_.Take();
    shell_->Shutdown();
    shell_->Shutdown();  // a second exit entry point does nothing more
    EXPECT_FALSE(log_.quit.has_value());
    ASSERT_TRUE(ui_.PumpUntil([&] { return log_.quit.has_value(); }));
    // The window goes at once, before the wait for the checks.
    EXPECT_THAT(log_.Take(), ElementsAre("stop 1", "stop 3", "tray remove", "hide", "close boxes",
                                         "start 6 5000", "stop 6", "quit stopped"));
    EXPECT_EQ(*log_.quit, ShutdownEnd::ChecksStopped);
    EXPECT_EQ(OnDisk("slow").status, static_cast<int32_t>(DocumentStatus::Waiting));
    // A finding carried to this thread while it was shutting down goes nowhere.
    shell_->PlaySound(NotifyKind::Changed);
    shell_->ShowMessage("late");
    shell_->TrayAlert(0, NotifyKind::Changed, std::nullopt);
    shell_->SelectRowOfRecord(0);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_TRUE(rows_->selected.empty());
    EXPECT_TRUE(log_.Take().empty());
}

TEST_F(ShutdownShellTest, ACheckThatDoesNotEndWithinTheBoundIsLeftAndTheRecordsSaved) {
    WriteDocument(DocumentType::LocalFile, "stuck", (data_ / "nowhere").string(),
                  DocumentStatus::Waiting);
    std::mutex holdLock;
    std::condition_variable holdWake;
    bool held = false, released = false;
    StartShell();
    // Check All redraws the rows on this thread first; the check thread is the one held.
    auto testThread = std::this_thread::get_id();
    observer_->beforeCall = [&] {
        if (std::this_thread::get_id() == testThread) return;
        std::unique_lock guard(holdLock);
        held = true;
        holdWake.notify_all();
        holdWake.wait(guard, [&] { return released; });
    };
    doc_->CheckAll();
    {
        std::unique_lock guard(holdLock);
        ASSERT_TRUE(holdWake.wait_for(guard, std::chrono::seconds(30), [&] { return held; }));
    }
    shell_->Shutdown();
    EXPECT_FALSE(log_.quit.has_value());
    shell_->OnTimer(TimerId::ShutdownBound);  // 5 s later, the check still hangs
    ASSERT_TRUE(log_.quit.has_value());
    EXPECT_EQ(*log_.quit, ShutdownEnd::ChecksStillRunning);
    EXPECT_EQ(OnDisk("stuck").status, static_cast<int32_t>(DocumentStatus::Waiting));
    {
        std::lock_guard guard(holdLock);
        released = true;
        observer_->beforeCall = nullptr;
        holdWake.notify_all();
    }
}

}  // namespace
}  // namespace wardlet::test
