// Window figures (offscreen platform):
//   stall  the longest event-loop stall of the window while 5 threads check 1,000 loopback pages
//          (goal: at most 50 ms)
//   rows   the time from start to the window showing 10,000 documents (goal: at most 1 s)
//   copy   the longest event-loop stall while Save As copies a 200 MB document (goal: at most
//          50 ms; WARDLET_BENCH_COPY_MB sets the size)
//   exit   the time from File > Exit to the window gone while a check of a slow page runs
//          (goal: at most 0.3 s), and to the end of the exit
//   pass   the window over the data folder of $XDG_DATA_HOME: started, Check All, the pass, the
//          exit with its write-back; the pass's time and longest event-loop stall are printed,
//          the whole run is timed against wardctl by bench/window_pass_bench.sh (never in "all")
//   changes  the time to open and paint the change view of a 1 MB page with a kept version
//          (goal: at most 0.2 s)
// Usage: window_bench [stall|rows|copy|exit|changes|pass]...   (all but pass when none is named)
#include <QApplication>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench_documents.h"
#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/dialogs/change_view_dialog.h"
#include "monitor/model/version_history.h"
#include "monitor/window/wardlet_app.h"
#include "peer_process.h"
#include "scripted_desktop.h"
#include "temp_home.h"

using namespace wardlet;

namespace {

void WriteDocuments(const std::filesystem::path& data, size_t count, const std::string& urlBase) {
    if (!bench::WritePassDocuments(data, count, {urlBase}))
        fprintf(stderr, "cannot write a record\n");
}

// The end of the program noted instead of quitting the bench.
class NotedEnd : public QtFrameDesktop {
public:
    void EndProgram(ShutdownEnd) override { ended = true; }
    bool ended = false;
};

struct Desktop {
    test::ScriptedMessageBoxes boxes;
    test::RecordingOpener opener;
    test::RecordingLauncher launcher;
    NotedEnd end;
    // What the monitor is made with here: these stand-ins, and the end noted.
    CWardletApp::Desktop Parts(CommandDialogs* dialogs = nullptr) {
        return {boxes, opener, launcher, dialogs, nullptr, &end};
    }
};

// Counts the longest gap between the ticks of a 5 ms timer.
class StallProbe {
public:
    StallProbe() {
        probe_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe_, &QTimer::timeout, [this] {
            qint64 now = clock_.elapsed();
            worst_ = std::max(worst_, now - last_ - 5);
            last_ = now;
        });
        clock_.start();
        probe_.start(5);
    }
    long long worst() const { return static_cast<long long>(std::max<qint64>(worst_, 0)); }
    double seconds() const { return clock_.elapsed() / 1000.0; }

private:
    QElapsedTimer clock_;
    qint64 last_ = 0, worst_ = 0;
    QTimer probe_;
};

// The Save As dialog answered with one path; nothing else is asked for.
class SaveAsTo : public CommandDialogs {
public:
    explicit SaveAsTo(std::filesystem::path target) : target_(std::move(target)) {}
    std::optional<StagedDocument> RunProperties(PropertiesMode, size_t) override { return {}; }
    bool RunDataView(const std::filesystem::path&) override { return false; }
    void RunCountView(size_t) override {}
    void RunChanges(size_t) override {}
    std::optional<std::filesystem::path> ChooseSaveAsPath(const std::filesystem::path&) override {
        return target_;
    }
    void RunAbout() override {}
    bool RunOptions(MonitorOptions&) override { return false; }

private:
    std::filesystem::path target_;
};

void Copy() {
    const char* sized = getenv("WARDLET_BENCH_COPY_MB");
    uintmax_t megabytes = sized ? std::strtoull(sized, nullptr, 10) : 200;
    test::TempDataHome home;
    auto data = home.makeDataFolder();
    DocumentRecord record{};
    record.type = static_cast<int32_t>(DocumentType::LocalFile);
    record.status = static_cast<int32_t>(DocumentStatus::Checked);
    SetFieldText(record.name, "big");
    SetFieldText(record.location, "/srv/big.bin");
    {
        DocumentTable table;
        DocumentStore store(data, table);
        if (!store.SaveDocument(table.Add(record))) fprintf(stderr, "cannot write a record\n");
    }
    // Real blocks, not a sparse file: the disk is read as it would be.
    {
        std::ofstream out(data / "big.content", std::ios::binary);
        std::string block(1 << 20, 'b');
        for (uintmax_t i = 0; i < megabytes; ++i)
            out << block;
    }
    test::TempDir target;
    SaveAsTo dialogs(target.path() / "big.bin");
    Desktop desktop;
    CWardletApp app(data, data, desktop.Parts(&dialogs));
    app.Start(false);
    app.view().selectionModel()->select(app.model().index(0, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCoreApplication::processEvents();
    StallProbe probe;
    app.commands().SaveAs();
    printf("copy: Save As of %ju MB in %.2f s; longest event-loop stall %lld ms\n", megabytes,
           probe.seconds(), probe.worst());
}

void Exit() {
    test::TempDataHome home;
    auto data = home.makeDataFolder();
    test::TempDir pages;
    std::ofstream(pages.path() / "slow") << std::string(4000, 's');
    std::ofstream(pages.path() / "slow.meta") << R"({"mode": "drip", "interval": 0.05})";
    test::PeerProcess peer(
        {test::Python(), test::TestFile("monitor/engine/http_peer.py"), pages.path().string()});
    setenv("no_proxy", "127.0.0.1", 1);
    WriteDocuments(data, 1, "http://127.0.0.1:" + std::to_string(peer.port()) + "/slow");
    Desktop desktop;
    CWardletApp app(data, data, desktop.Parts());
    const bool& ended = desktop.end.ended;
    app.Start(false);
    app.doc().CheckAll();
    // Until the check is reading the slow page.
    QElapsedTimer wait;
    wait.start();
    while (std::ifstream(pages.path() / "hits").peek() == EOF && wait.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QElapsedTimer clock;
    clock.start();
    app.frame().action(CommandId::Exit).trigger();
    qint64 hidden = -1;
    while (!ended && clock.elapsed() < 10000) {
        if (hidden < 0 && !app.frame().isVisible()) hidden = clock.elapsed();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    if (hidden < 0 && !app.frame().isVisible()) hidden = clock.elapsed();
    printf(
        "exit: window gone %lld ms after File > Exit; checks stopped and records saved after "
        "%lld ms\n",
        static_cast<long long>(hidden), static_cast<long long>(clock.elapsed()));
}

void Stall() {
    test::TempDataHome home;
    auto data = home.makeDataFolder();
    test::TempDir pages;
    for (int i = 0; i < 1000; ++i)
        std::ofstream(pages.path() / ("p" + std::to_string(i))) << std::string(10240, 'a' + i % 26);
    test::PeerProcess peer(
        {test::Python(), test::TestFile("monitor/engine/http_peer.py"), pages.path().string()});
    setenv("no_proxy", "127.0.0.1", 1);
    WriteDocuments(data, 1000, "http://127.0.0.1:" + std::to_string(peer.port()) + "/p");
    Desktop desktop;
    CWardletApp app(data, data, desktop.Parts());
    app.Start(false);
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        qint64 now = clock.elapsed();
        worst = std::max(worst, now - last - 5);
        last = now;
    });
    clock.start();
    probe.start(5);
    app.doc().CheckAll();
    while (!app.doc().ChecksIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents();
    printf("stall: 1,000 pages with 5 threads in %.2f s; longest event-loop stall %lld ms\n",
           clock.elapsed() / 1000.0, static_cast<long long>(std::max<qint64>(worst, 0)));
}

void Pass() {
    const char* xdg = getenv("XDG_DATA_HOME");
    if (!xdg) {
        fprintf(stderr, "pass: XDG_DATA_HOME names the data folder's home\n");
        return;
    }
    std::filesystem::path data = std::filesystem::path(xdg) / "Calvorne" / "Wardlet";
    Desktop desktop;
    CWardletApp app(data, data, desktop.Parts());
    const bool& ended = desktop.end.ended;
    app.Start(false);
    QCoreApplication::processEvents();
    StallProbe probe;
    app.doc().CheckAll();
    double queued = probe.seconds();  // Check All itself marks every row waiting, on this thread
    // Rows still showing a check under way: refreshes not painted yet.
    auto unfinished = [&app] {
        size_t count = 0;
        for (int row = 0; row < app.model().rowCount(); ++row) {
            QString status =
                app.model().data(app.model().index(row, 2), Qt::DisplayRole).toString();
            count += status.startsWith("Waiting") || status.startsWith("Retrieving");
        }
        return count;
    };
    while (!app.doc().ChecksIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    // The pass ends when its rows show it; the idle report paints what is still held.
    double idle = probe.seconds();
    while (unfinished() != 0 && probe.seconds() - idle < 2)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    double passed = probe.seconds();
    long long stall = probe.worst();  // the exit's write-back, with the window gone, is not one
    size_t left = unfinished();
    app.shell().Shutdown();
    while (!ended)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    printf(
        "pass: %d documents (%zu rows unfinished) queued in %.3f s, checked in %.3f s, %.3f s with "
        "the exit's write-back; "
        "longest event-loop stall %lld ms\n",
        app.model().rowCount(), left, queued, passed, probe.seconds(), stall);
}

void Rows() {
    test::TempDataHome home;
    auto data = home.makeDataFolder();
    WriteDocuments(data, 10000, "http://127.0.0.1:9/p");
    Desktop desktop;
    QElapsedTimer clock;
    clock.start();
    CWardletApp app(data, data, desktop.Parts());
    app.Start(false);
    QCoreApplication::processEvents();  // the first paint
    qint64 shown = clock.elapsed();
    printf("rows: window showing %d documents after %lld ms\n", app.model().rowCount(),
           static_cast<long long>(shown));
}

// A 1 MB page of paragraphs; every 500th one differs between the two copies.
std::string Page(bool changed) {
    std::string page = "<html><body>\n";
    for (int i = 0; page.size() < (size_t{1} << 20); ++i)
        page += "<p>Item " + std::to_string(i) + ": price " +
                std::to_string(changed && i % 500 == 7 ? i + 1 : i) + " and some words</p>\n";
    return page + "</body></html>\n";
}

void Changes() {
    test::TempDataHome home;
    auto data = home.makeDataFolder();
    DocumentTable table;
    DocumentStore store(data, table);
    DocumentRecord record{};
    record.type = static_cast<int32_t>(DocumentType::WebPage);
    SetFieldText(record.name, "big");
    std::filesystem::path content = store.ContentFile("big");
    test::WriteBytes(content, Page(false));
    if (!KeepReplacedCopy(store.HistoryOf("big"), content, {})) fprintf(stderr, "not kept\n");
    test::WriteBytes(data / "fresh.tmp", Page(true));
    std::filesystem::rename(data / "fresh.tmp", content);
    Desktop desktop;
    QElapsedTimer clock;
    clock.start();
    ChangeViewDialog dialog("big", ChangeView(store, record), desktop.boxes, data);
    dialog.show();
    QCoreApplication::processEvents();  // the first paint
    qint64 shown = clock.elapsed();
    printf("changes: view of a 1 MB page open and painted after %lld ms\n",
           static_cast<long long>(shown));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::vector<std::string> which(argv + 1, argv + argc);
    if (which.empty()) which = {"stall", "rows", "copy", "exit", "changes"};
    for (const auto& name : which) {
        if (name == "stall")
            Stall();
        else if (name == "rows")
            Rows();
        else if (name == "copy")
            Copy();
        else if (name == "exit")
            Exit();
        else if (name == "pass")
            Pass();
        else if (name == "changes")
            Changes();
        else
            fprintf(stderr, "unknown benchmark %s\n", name.c_str());
    }
}
