// Window figures (offscreen platform):
//   stall  the longest event-loop stall of the window while 5 threads check 1,000 loopback pages
//          (goal: at most 50 ms)
//   rows   the time from start to the window showing 10,000 documents (goal: at most 1 s)
// Usage: window_bench [stall|rows]...   (both when none is named)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench_documents.h"
#include "common/little_endian.h"
#include "monitor/app/window/wardlet_app.h"
#include "peer_process.h"
#include "scripted_desktop.h"
#include "temp_home.h"

using namespace wardlet;

namespace {

void WriteDocuments(const std::filesystem::path& data, size_t count, const std::string& urlBase) {
    if (!bench::WritePassDocuments(data, count, {urlBase}))
        fprintf(stderr, "cannot write a record\n");
}

struct Desktop {
    test::ScriptedMessageBoxes boxes;
    test::RecordingOpener opener;
    test::RecordingLauncher launcher;
};

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
    CWardletApp app(data, data, {desktop.boxes, desktop.opener, desktop.launcher});
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
    app.doc().engine().QueueAllForCheck();
    while (!app.doc().ChecksIdle())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents();
    printf("stall: 1,000 pages with 5 threads in %.2f s; longest event-loop stall %lld ms\n",
           clock.elapsed() / 1000.0, static_cast<long long>(std::max<qint64>(worst, 0)));
}

void Rows() {
    test::TempDataHome home;
    auto data = home.makeDataFolder();
    WriteDocuments(data, 10000, "http://127.0.0.1:9/p");
    Desktop desktop;
    QElapsedTimer clock;
    clock.start();
    CWardletApp app(data, data, {desktop.boxes, desktop.opener, desktop.launcher});
    app.Start(false);
    QCoreApplication::processEvents();  // the first paint
    qint64 shown = clock.elapsed();
    printf("rows: window showing %d documents after %lld ms\n", app.model().rowCount(),
           static_cast<long long>(shown));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    std::vector<std::string> which(argv + 1, argv + argc);
    if (which.empty()) which = {"stall", "rows"};
    for (const auto& name : which) {
        if (name == "stall")
            Stall();
        else if (name == "rows")
            Rows();
        else
            fprintf(stderr, "unknown benchmark %s\n", name.c_str());
    }
}
