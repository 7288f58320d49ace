#include "window_fixture.h"

namespace wardlet::test {
namespace {

// The window's side of the checks, told apart by what it was asked and in which order.
class RecordingTarget : public CheckObserver {
public:
    void RefreshRow(size_t index) override { log.push_back("refresh " + std::to_string(index)); }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        log.push_back("find " + std::to_string(index));
        return index;
    }
    void SelectRowOfRecord(size_t index) override {
        log.push_back("select " + std::to_string(index));
    }
    void PlaySound(NotifyKind) override { log.push_back("sound"); }
    void TrayAlert(size_t index, NotifyKind, std::optional<ChangedLineCount>) override {
        log.push_back("tray " + std::to_string(index));
    }
    void ShowMessage(std::string_view) override { log.push_back("message"); }
    void OpenDocument(size_t index) override { log.push_back("open " + std::to_string(index)); }
    std::vector<std::string> log;
};

TEST(UiThreadObserverTest, RefreshesDoNotWaitAndArePaintedOnceBeforeTheNextCallOrAtTheEnd) {
    RecordingTarget target;
    UiThreadObserver observer(target);
    std::thread check([&] {
        observer.RefreshRow(1);
        observer.RefreshRow(2);
        observer.RefreshRow(1);
    });
    check.join();  // this thread turned no events: the refreshes did not wait for it
    EXPECT_TRUE(target.log.empty());

    std::thread notify([&] {
        observer.RefreshRow(3);
        observer.PlaySound(NotifyKind::Changed);
        observer.RefreshRow(3);
        observer.SelectRowOfRecord(3);
        observer.TrayAlert(3, NotifyKind::Changed, std::nullopt);
        observer.RefreshRow(4);
        observer.OpenDocument(4);
        observer.RefreshRow(5);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return target.log.size() >= 9; }, 10000));
    notify.join();
    EXPECT_THAT(target.log, ElementsAre("refresh 1", "refresh 2", "refresh 3", "sound", "refresh 3",
                                        "select 3", "tray 3", "refresh 4", "open 4"));
    // The last refresh is left to the timer or the end of the pass, whichever comes first.
    observer.FlushRefreshes();
    EXPECT_EQ(target.log.back(), "refresh 5");
    EXPECT_EQ(target.log.size(), 10u);

    // On this thread a refresh is painted at once, and with the rows given a lookup is theirs.
    observer.RefreshRow(6);
    EXPECT_EQ(target.log.back(), "refresh 6");
    DocumentTable table;
    DocumentRowList rows(table);
    UiThreadObserver direct(target, &rows);
    std::optional<size_t> found = 0;
    std::thread([&] { found = direct.FindRowOfRecord(0); }).join();
    EXPECT_EQ(found, std::nullopt);
    EXPECT_EQ(target.log.size(), 11u);
}

}  // namespace
}  // namespace wardlet::test
