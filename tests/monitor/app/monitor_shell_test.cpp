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
