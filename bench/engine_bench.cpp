// Check engine figures, side by side with the usual tools:
//   pass    a pass over 1,000 loopback pages of 10 KB with 5 threads, and xargs -P5 curl
//   memory  peak memory while checking a 1 GiB local file (first copy, then comparison)
//   count   the count method on a 100 MB page, and grep -c on the same bytes
//   middle  peak memory of the middle method on a 400 MB loopback page (goal: under 32 MiB)
// Usage: engine_bench [pass|memory|count|middle]...   (all when none is named)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "common/little_endian.h"
#include "monitor/app/wardctl_pass.h"
#include "monitor/engine/change_detection.h"
#include "monitor/engine/check_engine.h"
#include "peer_process.h"
#include "temp_home.h"

using namespace wardlet;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double TimeShell(const std::string& command) {
    auto start = Clock::now();
    if (std::system(command.c_str()) != 0) fprintf(stderr, "failed: %s\n", command.c_str());
    return Seconds(start);
}

// A data folder with its table, store and list, and a quiet observer.
struct Monitor {
    test::TempDataHome home;
    DocumentTable table;
    DocumentStore store{home.makeDataFolder(), table};
    DocumentRowList list{table};
    WardctlObserver observer{list};
    Monitor() { store.SetList(&list); }
    void Add(DocumentType type, const std::string& name, const std::string& location,
             const char* countString = nullptr,
             std::pair<const char*, const char*> middle = {nullptr, nullptr}) {
        DocumentRecord r{};
        r.type = static_cast<int32_t>(type);
        SetFieldText(r.name, name);
        SetFieldText(r.location, location);
        if (countString) {
            r.useCount = 1;
            SetFieldText(r.countString, countString);
        }
        if (middle.first) {
            r.useMiddle = 1;
            SetFieldText(r.middleStart, middle.first);
            SetFieldText(r.middleEnd, middle.second);
        }
        list.AddRow(table.Add(r));
    }
    // Check All and wait; the records are not written back (that is the exit's work).
    double Pass(int threads, TransferLimits limits = {}) {
        FixedEngineSettings settings(threads);
        CheckEngine engine(store, settings, observer, limits);
        auto start = Clock::now();
        engine.QueueAllForCheck();
        engine.WaitIdle();
        return Seconds(start);
    }
};

void WriteFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

void BenchPass() {
    test::TempDir root;
    std::string page;
    for (int i = 0; page.size() < 10240; ++i)
        page += "<p>line " + std::to_string(i) + " of a loopback page</p>\n";
    page.resize(10240);
    test::PeerProcess peer(
        {test::Python(), test::TestFile("monitor/engine/http_peer.py"), root.path().string()});
    Monitor monitor;
    std::string urls;
    for (int i = 0; i < 1000; ++i) {
        std::string name = "p" + std::to_string(i);
        WriteFile(root.path() / name, page);
        std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/" + name;
        urls += url + "\n";
        monitor.Add(DocumentType::WebFile, name, url);
    }
    WriteFile(root.path() / "urls", urls);
    double first = monitor.Pass(5);
    double second = monitor.Pass(5);
    std::string list = (root.path() / "urls").string();
    // xargs hands all URLs to one curl, which keeps its connection alive; the engine opens a
    // fresh connection per check by design, as does curl told to close after each reply.
    double curlOne = TimeShell("xargs -P5 curl -s < " + list + " > /dev/null");
    double curlFresh =
        TimeShell("xargs -P5 -n200 curl -s -H 'Connection: close' < " + list + " > /dev/null");
    printf("pass over 1000 pages of 10 KB, 5 threads: first %.2f s, second %.2f s\n", first,
           second);
    printf(
        "xargs -P5 curl: %.2f s (one kept-alive connection); 5 x 200 URLs with a fresh "
        "connection each: %.2f s\n",
        curlOne, curlFresh);
    printf("ratio second pass / xargs -P5 curl: %.2f; / fresh connections: %.2f\n",
           second / curlOne, second / curlFresh);
}

void BenchMemory() {
    test::TempDir files;
    auto big = (files.path() / "big.bin").string();
    TimeShell("head -c 1073741824 /dev/urandom > " + big);
    pid_t child = fork();
    if (child == 0) {
        Monitor monitor;
        monitor.Add(DocumentType::LocalFile, "big", big);
        double first = monitor.Pass(1);
        monitor.table.Modify(0, [](DocumentRecord& r) { r.status = 0; });
        double second = monitor.Pass(1);
        printf("1 GiB local file: first copy %.2f s, comparison %.2f s\n", first, second);
        fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    printf("peak memory of the checking process: %.1f MiB\n", usage.ru_maxrss / 1024.0);
}

void BenchCount() {
    test::TempDir root;
    std::string text;
    text.reserve(100 << 20);
    for (int i = 0; text.size() < (100u << 20); ++i)
        text += i % 7 ? "an ordinary line of the page without the word\n"
                      : "a line with the needle in it\n";
    WriteFile(root.path() / "big", text);
    test::PeerProcess peer(
        {test::Python(), test::TestFile("monitor/engine/http_peer.py"), root.path().string()});
    Monitor monitor;
    monitor.Add(DocumentType::WebPage, "big",
                "http://127.0.0.1:" + std::to_string(peer.port()) + "/big", "needle");
    double check = monitor.Pass(1);
    auto file = (root.path() / "big").string();
    auto start = Clock::now();
    int64_t count = CountString(file, "needle");
    double counting = Seconds(start);
    // Not to /dev/null: GNU grep notices that and stops at the first match.
    double grep = TimeShell("grep -c needle " + file + " > " + file + ".grep");
    printf("count on a 100 MB page: whole check %.2f s, counting alone %.3f s (%lld found)\n",
           check, counting, static_cast<long long>(count));
    double fetchGrep = TimeShell("curl -s http://127.0.0.1:" + std::to_string(peer.port()) +
                                 "/big | grep -c needle > " + file + ".grep");
    printf("grep -c: %.3f s; ratio counting / grep: %.2f\n", grep, counting / grep);
    printf("curl | grep -c: %.2f s; ratio whole check / curl | grep: %.2f\n", fetchGrep,
           check / fetchGrep);
}

// Peak memory of a process that checks a 400 MB page by the middle method twice (first copy,
// then comparison); the extract is 200 MB, so neither page nor extract may be held.
void BenchMiddle() {
    test::TempDir root;
    {
        std::ofstream out(root.path() / "page", std::ios::binary);
        std::string line = "<p>an ordinary line of a very long page</p>\n";
        std::string block;
        while (block.size() < (1 << 20))
            block += line;
        block.resize(1 << 20);
        for (int mb = 0; mb < 400; ++mb) {
            if (mb == 100) out << "<start>";
            if (mb == 300) out << "<end>";
            out << block;
        }
    }
    test::PeerProcess peer(
        {test::Python(), test::TestFile("monitor/engine/http_peer.py"), root.path().string()});
    std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/page";
    pid_t child = fork();
    if (child == 0) {
        Monitor monitor;
        monitor.Add(DocumentType::WebPage, "page", url, nullptr, {"<start>", "<end>"});
        TransferLimits limits;
        limits.maxDocumentBytes = int64_t{1} << 30;  // the page is beyond the default limit
        double first = monitor.Pass(1, limits);
        int32_t status = monitor.table.Get(0).status;
        monitor.table.Modify(0, [](DocumentRecord& r) { r.status = 0; });
        double second = monitor.Pass(1, limits);
        printf("middle method on a 400 MB page: first check %.2f s (%s), second %.2f s (%s)\n",
               first, std::string(StatusText(status)).c_str(), second,
               std::string(StatusText(monitor.table.Get(0).status)).c_str());
        fflush(stdout);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    printf("peak memory of the checking process: %.1f MiB (goal: under 32 MiB)\n",
           usage.ru_maxrss / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("no_proxy", "127.0.0.1", 1);
    std::vector<std::string> which(argv + 1, argv + argc);
    if (which.empty()) which = {"pass", "memory", "count", "middle"};
    for (const auto& bench : which) {
        if (bench == "pass") BenchPass();
        if (bench == "memory") BenchMemory();
        if (bench == "count") BenchCount();
        if (bench == "middle") BenchMiddle();
    }
}
