// The rules of the desktop notifications without a display: their texts and actions, the folding
// of a burst, and a service that is not there. The setting and the tray: monitor_shell_test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "monitor/app/desktop_alerts.h"

namespace wardlet::test {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;

// A notification service as the freedesktop one answers: a new id per new notification, the same
// id for one that replaces another; with `present` false nothing is shown.
class FakeService : public DesktopNotifications, public SteadyClock, public ShellTimers {
public:
    uint32_t Show(const DesktopNotice& notice) override {
        if (!present) return 0;
        shown.push_back(std::to_string(notice.replacesId) + " " + notice.body);
        return notice.replacesId != 0 ? notice.replacesId : nextId++;
    }
    std::chrono::steady_clock::time_point Now() override { return now; }
    void Start(TimerId id, std::chrono::milliseconds period) override { timers[id] = period; }
    void Stop(TimerId id) override { timers.erase(id); }
    bool FoldTimerRuns() const { return timers.count(TimerId::NoticeFold) != 0; }

    bool present = true;
    uint32_t nextId = 1;
    std::vector<std::string> shown;  // "replaces_id body"
    std::chrono::steady_clock::time_point now{};
    std::map<TimerId, std::chrono::milliseconds> timers;
};

class DesktopAlertsTest : public ::testing::Test {
protected:
    void Find(const std::string& name, NotifyKind kind = NotifyKind::Changed, bool tray = false) {
        alerts_.Announce({0, name, kind}, tray);
    }
    FakeService service_;
    DesktopAlerts alerts_{service_, service_, service_};
};

TEST(NoticeComposerTest, TextsAndActionsOfOneFindingAndOfAFold) {
    DesktopNotice changed = NoticeComposer::ForFinding({4, "News & Views", NotifyKind::Changed});
    EXPECT_EQ(changed.body, "Changed: News & Views");
    EXPECT_EQ(NoticeComposer::BalloonFor({4, "News & Views", NotifyKind::Changed}), "");
    // With line counts: the body and the tray balloon say them.
    DocumentFinding counted{4, "Prices", NotifyKind::Changed, ChangedLineCount{3, 1}};
    EXPECT_EQ(NoticeComposer::ForFinding(counted).body, "Changed: Prices (+3 -1 lines)");
    EXPECT_EQ(NoticeComposer::BalloonFor(counted),
              "Prices has changed: 3 lines added, 1 line removed.");
    counted.kind = NotifyKind::Unavailable;
    EXPECT_EQ(NoticeComposer::ForFinding(counted).body, "Unable to retrieve: Prices");
    EXPECT_EQ(NoticeComposer::BalloonFor(counted), "");
    EXPECT_EQ(changed.documentName, "News & Views");
    ASSERT_EQ(changed.actions.size(), 3u);
    EXPECT_EQ(changed.actions[0].key, "default");
    EXPECT_EQ(changed.actions[1].key, "changes");
    EXPECT_EQ(changed.actions[1].label, "Show Changes");
    EXPECT_EQ(changed.actions[2].key, "open");
    EXPECT_EQ(changed.actions[2].label, "Open");
    // A page that cannot be fetched has nothing new to show: no "Show Changes".
    DesktopNotice failed = NoticeComposer::ForFinding({0, "ftp", NotifyKind::Unavailable});
    ASSERT_EQ(failed.actions.size(), 2u);
    EXPECT_EQ(failed.actions[1].key, "open");
    EXPECT_EQ(NoticeComposer::ForFinding({0, "ftp", NotifyKind::Unavailable}).body,
              "Unable to retrieve: ftp");
    DesktopNotice fold = NoticeComposer::ForFold(6);
    EXPECT_EQ(fold.body, "6 documents changed");
    ASSERT_EQ(fold.actions.size(), 1u);
    EXPECT_EQ(fold.actions[0].key, "default");
}

TEST_F(DesktopAlertsTest, APassOfSixChangesShowsTheFirstThenOneFoldReplacingIt) {
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
        Find(name);
        service_.now += 100ms;
    }
    EXPECT_THAT(service_.shown, ElementsAre("0 Changed: a"));
    ASSERT_TRUE(service_.FoldTimerRuns());
    EXPECT_EQ(service_.timers[TimerId::NoticeFold], kFoldSettle);
    alerts_.OnFoldTimer();
    EXPECT_THAT(service_.shown, ElementsAre("0 Changed: a", "1 6 documents changed"));
    EXPECT_FALSE(service_.FoldTimerRuns());
}

TEST_F(DesktopAlertsTest, UpToThreeInTenSecondsAreShownEachAndTheFourthFoldsThemAll) {
    Find("a");
    service_.now += 1s;
    Find("b", NotifyKind::Unavailable);
    Find("c");
    alerts_.OnFoldTimer();
    EXPECT_THAT(service_.shown,
                ElementsAre("0 Changed: a", "0 Unable to retrieve: b", "0 Changed: c"));
    service_.now += 8s;  // still within the burst's ten seconds
    Find("d");
    alerts_.OnFoldTimer();
    EXPECT_EQ(service_.shown.back(), "3 4 documents changed");
    Find("e");
    alerts_.OnFoldTimer();
    EXPECT_EQ(service_.shown.back(), "3 5 documents changed");

    // Ten seconds after the burst began, a finding starts a new one and is shown at once; what
    // the old burst still held goes out first.
    Find("f");
    service_.now += 2s;
    Find("g");
    EXPECT_EQ(service_.shown.back(), "0 Changed: g");
    EXPECT_EQ(service_.shown[service_.shown.size() - 2], "3 6 documents changed");
    EXPECT_FALSE(service_.FoldTimerRuns());
}

TEST_F(DesktopAlertsTest, ActionsNameTheirDocumentAndClosedOrUnknownOnesAskNothing) {
    Find("page");
    Find("b");
    Find("c");
    Find("d");
    alerts_.OnFoldTimer();
    ASSERT_THAT(service_.shown, ElementsAre("0 Changed: page", "1 4 documents changed"));
    // The fold took the first one's place: its actions are the fold's now.
    auto click = alerts_.ActionInvoked(1, "default");
    ASSERT_TRUE(click.has_value());
    EXPECT_EQ(click->command, NoticeCommand::BringForward);
    EXPECT_FALSE(alerts_.ActionInvoked(1, "open").has_value());

    service_.now += kFoldWindow;
    Find("other");
    auto open = alerts_.ActionInvoked(2, "open");
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->command, NoticeCommand::Open);
    EXPECT_EQ(open->documentName, "other");
    auto changes = alerts_.ActionInvoked(2, "changes");
    ASSERT_TRUE(changes.has_value());
    EXPECT_EQ(changes->command, NoticeCommand::ShowChanges);
    EXPECT_EQ(changes->documentName, "other");
    EXPECT_FALSE(alerts_.ActionInvoked(2, "show").has_value());
    EXPECT_FALSE(alerts_.ActionInvoked(99, "default").has_value());

    // Dismissed by the user: its actions are gone, and a fold opens a new notification.
    alerts_.Closed(2);
    EXPECT_FALSE(alerts_.ActionInvoked(2, "open").has_value());
    for (const char* name : {"x", "y", "z"})
        Find(name);
    alerts_.OnFoldTimer();
    EXPECT_EQ(service_.shown.back(), "0 4 documents changed");
}

TEST_F(DesktopAlertsTest, NoServiceShowsNothingAndExitDropsWhatIsHeld) {
    service_.present = false;
    Find("a");
    Find("b");
    Find("c");
    Find("d");
    alerts_.OnFoldTimer();
    EXPECT_FALSE(alerts_.ActionInvoked(0, "default").has_value());
    service_.present = true;
    Find("e");
    alerts_.OnFoldTimer();
    // Nothing was on screen to replace.
    EXPECT_THAT(service_.shown, ElementsAre("0 5 documents changed"));

    service_.now += kFoldWindow;
    Find("f");
    Find("g");
    alerts_.Stop();
    EXPECT_FALSE(service_.FoldTimerRuns());
    alerts_.OnFoldTimer();
    EXPECT_EQ(service_.shown.back(), "0 Changed: f");
}

}  // namespace
}  // namespace wardlet::test
