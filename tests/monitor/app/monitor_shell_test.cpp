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

std::vector<std::string> Starts(const std::vector<std::string>& log) {
    std::vector<std::string> starts;
    for (const auto& entry : log)
        if (entry.rfind("start ", 0) == 0) starts.push_back(entry);
    return starts;
}

TEST(SoundFileTest, DataFolderFirstThenTheInstallFolderThenTheSharedFilesOfAnInstall) {
    TempDir data, prefix;
    auto bin = prefix.path() / "bin";
    auto shared = prefix.path() / "share" / "wardlet";
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(shared);
    EXPECT_EQ(FindSoundFile(NotifyKind::Changed, data.path(), bin), std::nullopt);
    WriteBytes(shared / "Wardlet.sound", "installed");
    WriteBytes(shared / "Wardlet.alert", "installed");
    EXPECT_EQ(FindSoundFile(NotifyKind::Changed, data.path(), bin), shared / "Wardlet.sound");
    WriteBytes(bin / "Wardlet.sound", "beside the program");
    EXPECT_EQ(FindSoundFile(NotifyKind::Changed, data.path(), bin), bin / "Wardlet.sound");
    WriteBytes(data.path() / "Wardlet.sound", "the user's own");
    EXPECT_EQ(FindSoundFile(NotifyKind::Changed, data.path(), bin), data.path() / "Wardlet.sound");
    EXPECT_EQ(FindSoundFile(NotifyKind::Unavailable, data.path(), bin), shared / "Wardlet.alert");
}

TEST_F(ShellTest, FirstUpdateLoadsInOrderAndStartsTheTimersTheDefaultsAsk) {
    WriteDocument(DocumentType::WebPage, "one", "http://127.0.0.1:9/");
    StartShell();
    auto log = log_.Take();
    // Tray icon and columns come before the documents; the options file gets the defaults.
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "tray add");
    EXPECT_EQ(log[1], "columns rows=0");
    EXPECT_EQ(rows_->RowCount(), 1u);
    EXPECT_EQ(ReadBytes(data_ / "Wardlet.option").size(), 44u);
    EXPECT_THAT(Starts(log), ElementsAre("start 5 5000", "start 1 600000", "start 3 2000"));
    EXPECT_FALSE(doc_->mailTimerActive());
    EXPECT_FALSE(shell_->unattended());
}

TEST_F(ShellTest, TimersFollowTheOptionsAndApplyTimersRearmsThem) {
    WriteOptions([](MonitorOptions& o) {
        o.periodicCheck = 0;
        o.startupCheck = 2;  // only exactly 1 counts as on
        o.sendEmail = 1;
    });
    StartShell();
    EXPECT_THAT(Starts(log_.Take()), ElementsAre("start 4 60000", "start 3 2000"));
    EXPECT_TRUE(doc_->mailTimerActive());

    // A damaged file's period is held at what a timer can take, not wrapped.
    MonitorOptions options = doc_->options();
    options.periodicCheck = 1;
    options.checkPeriodMinutes = 2147483647;
    options.sendEmail = 0;
    ASSERT_TRUE(doc_->ApplyOptions(options));
    shell_->ApplyTimers();
    EXPECT_THAT(log_.Take(), ElementsAre("start 1 2147483647", "stop 4"));
    EXPECT_FALSE(doc_->mailTimerActive());
    // With the periodic check on, every apply starts a new period.
    shell_->ApplyTimers();
    EXPECT_THAT(log_.Take(), ElementsAre("stop 1", "start 1 2147483647"));

    // What the options dialog applied is saved and re-arms the timers.
    MonitorOptions edited = doc_->options();
    edited.checkPeriodMinutes = 30;
    shell_->OptionsApplied(edited);
    EXPECT_EQ(ReadOptionsFile(data_)->checkPeriodMinutes, 30);
    EXPECT_EQ(log_.running[TimerId::PeriodicCheck], std::chrono::minutes(30));
}

TEST_F(ShellTest, StartupPromptOnlyWithAnEmptyList) {
    StartShell();
    RecordingCommands commands;
    shell_->SetCommands(commands);
    log_.promptAnswer = StartupAnswer::AddDocument;
    log_.Take();
    shell_->OnTimer(TimerId::StartupPrompt);
    EXPECT_THAT(log_.Take(), ElementsAre("stop 3", "prompt"));
    EXPECT_THAT(commands.run, ElementsAre(CommandId::Add));
}

TEST_F(ShellTest, StartupPromptNotShownWithOneDocument) {
    WriteDocument(DocumentType::LocalFile, "one", "/tmp/x");
    StartShell();
    log_.Take();
    shell_->OnTimer(TimerId::StartupPrompt);
    EXPECT_THAT(log_.Take(), ElementsAre("stop 3"));
}

TEST_F(ShellTest, StartClearsTemporaryFilesAKilledRunLeftBehind) {
    WriteDocument(DocumentType::LocalFile, "one", "/tmp/x");
    for (const char* stray : {"UVP1A2B.tmp", "one.data.Xy12Zq.tmp"})
        WriteBytes(data_ / stray, "left by a killed run");
    StartShell();
    EXPECT_FALSE(std::filesystem::exists(data_ / "UVP1A2B.tmp"));
    EXPECT_FALSE(std::filesystem::exists(data_ / "one.data.Xy12Zq.tmp"));
    EXPECT_TRUE(std::filesystem::exists(data_ / "one.data"));
}

TEST_F(ShellTest, StartupCheckLeavesChangedAndChecksWhatWasRetrievingAtExit) {
    HttpPeer peer;
    peer.SetPage("a", "page a");
    peer.SetPage("b", "page b");
    WriteDocument(DocumentType::WebPage, "changed", peer.Url("a"), DocumentStatus::Changed);
    // Retrieving at the last exit: written as Waiting; a killed run left it Retrieving.
    WriteDocument(DocumentType::WebPage, "interrupted", peer.Url("b"), DocumentStatus::Waiting);
    WriteDocument(DocumentType::WebPage, "killed", peer.Url("b"), DocumentStatus::Retrieving);
    StartShell();
    EXPECT_EQ(StatusOf("killed"), DocumentStatus::Waiting);
    shell_->OnTimer(TimerId::StartupCheck);
    EXPECT_FALSE(log_.Running(TimerId::StartupCheck));
    ASSERT_TRUE(ui_.PumpUntil(
        [&] { return doc_->ChecksIdle() && StatusOf("interrupted") != DocumentStatus::Waiting; }));
    EXPECT_EQ(StatusOf("interrupted"), DocumentStatus::Ready);
    EXPECT_EQ(StatusOf("killed"), DocumentStatus::Ready);
    EXPECT_EQ(StatusOf("changed"), DocumentStatus::Changed);
    EXPECT_EQ(peer.Hits("a"), 0u);
    EXPECT_EQ(peer.Hits("b"), 2u);
    EXPECT_THAT(rows_->refreshed,
                testing::IsSupersetOf({"interrupted Waiting to retrieve...",
                                       "interrupted Retrieving...", "interrupted Ready"}));
}

TEST_F(ShellTest, BlinkPhasesBalloonEveryTwentySevenVisiblePhasesAndStopWhenAttended) {
    StartShell(/*hide=*/true);
    EXPECT_TRUE(shell_->unattended());
    log_.Take();
    shell_->TrayAlert(0, NotifyKind::Changed, std::nullopt);
    EXPECT_THAT(log_.Take(), ElementsAre("start 2 500"));
    std::vector<std::string> visible;
    for (int tick = 0; tick < 2 * 28; ++tick) {
        shell_->OnTimer(TimerId::TrayBlink);
        auto entries = log_.Take();
        if (tick % 2 == 0) {
            EXPECT_THAT(entries, ElementsAre("tray blank")) << tick;
        } else {
            std::string joined;
            for (const auto& e : entries)
                joined += (joined.empty() ? "" : ", ") + e;
            visible.push_back(joined);
        }
    }
    std::string balloon =
        "tray normal, balloon Wardlet|Document has been changed or unable to retrieve.|10000";
    EXPECT_EQ(visible[0], balloon);
    for (int i = 1; i <= 25; ++i)
        EXPECT_EQ(visible[i], "tray normal") << i;
    EXPECT_EQ(visible[26], "tray remove, tray add");
    EXPECT_EQ(visible[27], balloon);

    shell_->OnTimer(TimerId::TrayBlink);  // a blank phase
    int phase = shell_->blinkPhase();
    shell_->OnListMouseMove();
    log_.Take();
    shell_->OnTimer(TimerId::TrayBlink);
    EXPECT_THAT(log_.Take(), ElementsAre("stop 2", "tray normal"));
    EXPECT_EQ(shell_->blinkCount(), 0);
    EXPECT_EQ(shell_->blinkPhase(), phase);                   // a new alert goes on from here
    shell_->TrayAlert(0, NotifyKind::Changed, std::nullopt);  // attended: no blinking
    EXPECT_TRUE(log_.Take().empty());
}

TEST_F(ShellTest, TheBalloonOfOneChangeNamesItAndCountsItsLines) {
    WriteDocument(DocumentType::WebPage, "Prices", "http://127.0.0.1:9/prices");
    WriteDocument(DocumentType::WebPage, "Fresh", "http://127.0.0.1:9/fresh");
    StartShell(/*hide=*/true);
    auto balloonAfter = [&](const char* name, NotifyKind kind,
                            std::optional<ChangedLineCount> lines) {
        shell_->TrayAlert(IndexOf(name), kind, lines);
        shell_->OnTimer(TimerId::TrayBlink);
        shell_->OnTimer(TimerId::TrayBlink);
        std::string balloon;
        for (const auto& entry : log_.Take())
            if (entry.starts_with("balloon ")) balloon = entry;
        return balloon;
    };
    auto attendAndLeave = [&] {
        shell_->OnListMouseMove();
        shell_->OnTimer(TimerId::TrayBlink);
        shell_->OnMinimized();
    };
    std::string usual = "balloon Wardlet|" + std::string(kBalloonText) + "|10000";
    log_.Take();
    EXPECT_EQ(balloonAfter("Prices", NotifyKind::Changed, ChangedLineCount{2, 1}),
              "balloon Wardlet|Prices has changed: 2 lines added, 1 line removed.|10000");
    // A first copy or a binary change has no counts; a failure none either: the usual text.
    attendAndLeave();
    EXPECT_EQ(balloonAfter("Fresh", NotifyKind::Changed, std::nullopt), usual);
    attendAndLeave();
    EXPECT_EQ(balloonAfter("Fresh", NotifyKind::Unavailable, ChangedLineCount{1, 1}), usual);
    // Two changes before the balloon: it names neither.
    attendAndLeave();
    shell_->TrayAlert(IndexOf("Prices"), NotifyKind::Changed, ChangedLineCount{1, 0});
    EXPECT_EQ(balloonAfter("Fresh", NotifyKind::Changed, ChangedLineCount{1, 0}), usual);
}

TEST_F(ShellTest, UnattendedFindingsGoToTheDesktopAndTheSettingCountsOnlyBesideATray) {
    WriteDocument(DocumentType::WebPage, "page", "http://127.0.0.1:9/page");
    FeatureSettings off;
    off.desktopNotifications = false;
    ASSERT_TRUE(SaveFeatureSettings(data_, off));
    log_.trayAvailable = false;
    StartShell(/*hide=*/true);
    log_.Take();
    EXPECT_FALSE(shell_->alerts().enabled());
    size_t page = IndexOf("page");

    // No tray: the notification is the alert, and nothing blinks.
    shell_->TrayAlert(page, NotifyKind::Unavailable, std::nullopt);
    EXPECT_TRUE(log_.Take().empty());
    ASSERT_EQ(log_.notices.size(), 1u);
    EXPECT_EQ(log_.notices[0].body, "Unable to retrieve: page");

    // A tray: it blinks, and the setting that is off keeps the desktop quiet.
    log_.trayAvailable = true;
    log_.now += kFoldWindow;
    shell_->TrayAlert(page, NotifyKind::Changed, std::nullopt);
    EXPECT_THAT(log_.Take(), ElementsAre("start 2 500"));
    EXPECT_EQ(log_.notices.size(), 1u);

    // Options applied: the setting the dialog wrote is taken.
    ASSERT_TRUE(SaveFeatureSettings(data_, FeatureSettings{}));
    shell_->OptionsApplied(doc_->options());
    EXPECT_TRUE(shell_->alerts().enabled());
    log_.now += kFoldWindow;
    shell_->TrayAlert(page, NotifyKind::Changed, std::nullopt);
    ASSERT_EQ(log_.notices.size(), 2u);
    EXPECT_EQ(log_.notices[1].body, "Changed: page");

    // Its actions: "open" opens the document it names, a click brings the window forward.
    log_.Take();
    shell_->OnNotificationAction(2, "open");
    EXPECT_THAT(opener_.urls, ElementsAre("http://127.0.0.1:9/page"));
    EXPECT_TRUE(shell_->unattended());
    shell_->OnNotificationAction(2, "default");
    EXPECT_THAT(log_.Take(), ElementsAre("forward"));
    EXPECT_FALSE(shell_->unattended());

    // Attended: neither blinking nor a notification.
    log_.now += kFoldWindow;
    shell_->TrayAlert(page, NotifyKind::Changed, std::nullopt);
    EXPECT_TRUE(log_.Take().empty());
    EXPECT_EQ(log_.notices.size(), 2u);
}

TEST_F(ShellTest, NotificationShowChangesRunsTheCommandOnItsDocumentAlone) {
    WriteDocument(DocumentType::WebPage, "page", "http://127.0.0.1:9/page");
    WriteDocument(DocumentType::WebPage, "other", "http://127.0.0.1:9/other");
    StartShell(/*hide=*/true);
    RecordingCommands commands;
    shell_->SetCommands(commands);
    size_t page = IndexOf("page");
    size_t other = IndexOf("other");
    shell_->TrayAlert(page, NotifyKind::Changed, std::nullopt);
    ASSERT_EQ(log_.notices.size(), 1u);
    // The user had another row selected; the view is of the announced document.
    rows_->SetAllRowsSelected(false);
    rows_->SelectRowOfRecord(other);
    log_.Take();

    shell_->OnNotificationAction(1, "changes");
    EXPECT_THAT(log_.Take(), Contains("forward"));
    EXPECT_FALSE(shell_->unattended());
    EXPECT_THAT(rows_->selected, ElementsAre(*rows_->FindRowOfRecord(page)));
    EXPECT_THAT(commands.run, ElementsAre(CommandId::ShowChanges));
    EXPECT_TRUE(opener_.urls.empty());

    // Deleted since it was announced: nothing runs.
    commands.run.clear();
    doc_->DeleteDocuments({"page"});
    shell_->OnNotificationAction(1, "changes");
    EXPECT_TRUE(commands.run.empty());
}

TEST_F(ShellTest, HideWithoutATrayMinimisesInsteadOfHiding) {
    log_.trayAvailable = false;
    StartShell();
    EXPECT_EQ(shell_->Start(true), WindowStart::Minimized);
    EXPECT_TRUE(shell_->unattended());
    EXPECT_FALSE(shell_->WindowHides());
    log_.trayAvailable = true;
    EXPECT_EQ(shell_->Start(true), WindowStart::Hidden);
    EXPECT_EQ(shell_->Start(false), WindowStart::Shown);
}

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

TEST(ListRowsTest, TextsUnknownQuestionMarkAndImages) {
    DocumentRecord record{};
    SetFieldText(record.name, "n");
    record.type = 9;
    record.status = 7;
    RowTexts row = MakeRowTexts(record);
    EXPECT_THAT(row.columns, ElementsAre("n", "Unknown", "Unknown", "?"));
    EXPECT_EQ(row.image, StatusImage::White);
    const std::pair<DocumentStatus, StatusImage> images[] = {
        {DocumentStatus::Checked, StatusImage::White},
        {DocumentStatus::Retrieving, StatusImage::Yellow},
        {DocumentStatus::Changed, StatusImage::Green},
        {DocumentStatus::Unavailable, StatusImage::Red},
        {DocumentStatus::Waiting, StatusImage::Yellow},
        {DocumentStatus::Ready, StatusImage::White}};
    for (auto [status, image] : images)
        EXPECT_EQ(ImageOfStatus(static_cast<int32_t>(status)), image);
}

std::vector<std::string> Apply(const std::vector<std::string>& texts,
                               const std::vector<size_t>& order) {
    std::vector<std::string> sorted;
    for (size_t i : order)
        sorted.push_back(texts[i]);
    return sorted;
}

TEST(ListRowsTest, SortIsByteWiseCaseSensitiveInBothDirections) {
    std::vector<std::string> texts = {"b",          "Checked",
                                      "** Changed", "a",
                                      "B",          "** Unable to retrieve",
                                      "a",          "2024/01/02 [10:00:00]",
                                      "?",          "2023/12/31 [23:59:59]"};
    auto ascending = Apply(texts, SortedRowOrder(texts, true));
    EXPECT_TRUE(std::is_sorted(ascending.begin(), ascending.end()));
    EXPECT_EQ(ascending.front(), "** Changed");
    auto descending = Apply(texts, SortedRowOrder(texts, false));
    EXPECT_TRUE(std::is_sorted(descending.rbegin(), descending.rend()));
    // Time stamps sort in time order and "?" after every time.
    auto at = [&](const std::string& t) {
        return std::find(ascending.begin(), ascending.end(), t);
    };
    EXPECT_LT(at("2023/12/31 [23:59:59]"), at("2024/01/02 [10:00:00]"));
    EXPECT_LT(at("2024/01/02 [10:00:00]"), at("?"));
    // Every order is a permutation, also for long lists with many equal texts.
    std::vector<std::string> many;
    for (int i = 0; i < 500; ++i)
        many.push_back(std::to_string(i % 7));
    auto order = SortedRowOrder(many, true);
    std::sort(order.begin(), order.end());
    for (size_t i = 0; i < order.size(); ++i)
        ASSERT_EQ(order[i], i);

    SortDirection direction;
    EXPECT_TRUE(direction.TakeAscending());
    EXPECT_FALSE(direction.TakeAscending());  // shared by all columns
    EXPECT_TRUE(direction.TakeAscending());
}

TEST(MonitorCommandLineTest, HideIsACaseSensitiveSubstring) {
    EXPECT_TRUE(ParseMonitorCommandLine({"x/hidey"}).hide);
    EXPECT_TRUE(ParseMonitorCommandLine({"a", "/hide"}).hide);
    EXPECT_TRUE(ParseMonitorCommandLine({"--hide"}).hide);
    EXPECT_FALSE(ParseMonitorCommandLine({"/HIDE"}).hide);
    EXPECT_FALSE(ParseMonitorCommandLine({}).hide);
    EXPECT_TRUE(ParseMonitorCommandLine({"--help"}).help);
    EXPECT_TRUE(ParseMonitorCommandLine({"--version"}).version);
    EXPECT_EQ(MonitorVersionLine(), "Wardlet 7.0.4\n");
}

}  // namespace
}  // namespace wardlet::test
