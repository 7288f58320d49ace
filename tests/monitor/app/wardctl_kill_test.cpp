// wardctl killed with SIGKILL at random moments of add, remove, options set and check --all:
// every file of the data folder stays whole, no acknowledged document is lost, and no change a
// check stored a copy for is lost.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/model/document_store.h"
#include "temp_home.h"
#include "wardctl_process.h"

namespace wardlet::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kIterations = 200;
constexpr auto kTimeBudget = std::chrono::seconds(45);  // a loaded machine stops early

class WardctlKillTest : public ::testing::Test {
protected:
    TempDataHome home_;
    TempDir sources_;
    fs::path data_ = home_.dataFolder();
    std::mt19937 random_{20260307};

    std::string Source(int n) { return (sources_.path() / ("s" + std::to_string(n))).string(); }

    // Starts the command, kills it after a random moment within about its usual run time (tens
    // of milliseconds, most of it flushing); true when it had ended by itself with status 0 first
    // (the command was acknowledged).
    bool RunAndKill(const std::vector<std::string>& args, int usualMs = 60) {
        WardctlProcess process(args);
        std::this_thread::sleep_for(std::chrono::microseconds(random_() % (usualMs * 1000)));
        process.Signal(SIGKILL);
        auto status = process.Wait();
        return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    }

    // The documents on disk by name, each file checked to be one whole, loadable record.
    std::map<std::string, DocumentRecord> Documents() {
        std::map<std::string, DocumentRecord> documents;
        for (const auto& entry : fs::directory_iterator(data_)) {
            if (entry.path().extension() != ".data") continue;
            std::string bytes = ReadBytes(entry.path());
            EXPECT_EQ(bytes.size(), kRecordSize) << entry.path();
            if (bytes.size() != kRecordSize) continue;
            RecordBytes raw;
            memcpy(raw.data(), bytes.data(), raw.size());
            DocumentRecord record = RecordFromBytes(raw);
            EXPECT_TRUE(IsSafeStoredName(record)) << entry.path();
            EXPECT_EQ(entry.path().stem().string(), FieldText(record.name));
            documents[std::string(FieldText(record.name))] = record;
        }
        DocumentTable table;
        DocumentStore store(data_, table);
        EXPECT_EQ(store.LoadAllDocuments().loaded, documents.size());
        return documents;
    }
    std::optional<std::string> Content(const std::string& name) {
        fs::path file = data_ / (name + ".content");
        if (!fs::exists(file)) return std::nullopt;
        return ReadBytes(file);
    }
};

TEST_F(WardctlKillTest, KilledAtRandomMomentsLosesNothingAcknowledged) {
    std::set<std::string> acknowledged;
    int nextName = 0;
    auto add = [&](bool kill) {
        std::string name = "doc" + std::to_string(nextName);
        WriteBytes(Source(nextName), "source " + std::to_string(nextName));
        std::vector<std::string> args = {"add", "--type",     "local-file",    "--name",
                                         name,  "--location", Source(nextName)};
        ++nextName;
        bool done = kill ? RunAndKill(args) : RunWardctlProgram(args) == 0;
        if (done) acknowledged.insert(name);
        return name;
    };
    for (int i = 0; i < 6; ++i)
        add(false);
    ASSERT_EQ(RunWardctlProgram({"check", "--all"}), 0);
    ASSERT_EQ(acknowledged.size(), 6u);

    auto started = Clock::now();
    int iterations = 0, checks = 0;
    for (; iterations < kIterations && Clock::now() - started < kTimeBudget; ++iterations) {
        SCOPED_TRACE("iteration " + std::to_string(iterations));
        std::set<std::string> uncertain;
        std::map<std::string, std::optional<std::string>> before;
        int operation = static_cast<int>(random_() % 4);
        if (operation == 1 && acknowledged.size() < 4) operation = 0;
        if (operation == 0) {
            uncertain.insert(add(true));
        } else if (operation == 1) {
            auto victim = std::next(acknowledged.begin(), random_() % acknowledged.size());
            std::string name = *victim;
            acknowledged.erase(name);
            if (!RunAndKill({"remove", name})) uncertain.insert(name);
        } else if (operation == 2) {
            RunAndKill({"options", "set", "threadCount", std::to_string(1 + random_() % 5)});
        } else {
            ++checks;
            ASSERT_EQ(RunWardctlProgram({"mark-checked", "--all"}), 0);
            for (const auto& [name, record] : Documents()) {
                before[name] = Content(name);
                if (random_() % 2)
                    WriteBytes(std::string(FieldText(record.location)),
                               "changed in " + std::to_string(iterations));
            }
            RunAndKill({"check", "--all"}, 150);
        }

        auto documents = Documents();
        for (const auto& name : acknowledged)
            ASSERT_TRUE(documents.count(name)) << name << " was lost";
        for (const auto& [name, record] : documents)
            ASSERT_TRUE(acknowledged.count(name) || uncertain.count(name)) << name << " came back";
        for (const auto& [name, record] : documents) {
            if (uncertain.count(name)) acknowledged.insert(name);
            if (!before.count(name) || Content(name) == before[name]) continue;
            // A new copy replaced the stored one: the record beside it must say it changed.
            if (before[name]) {
                ASSERT_EQ(record.status, int32_t(DocumentStatus::Changed))
                    << name << ": a stored change was lost";
            }
        }
        for (const auto& name : uncertain)
            if (!documents.count(name)) acknowledged.erase(name);
        if (fs::exists(data_ / "Wardlet.option")) {
            ASSERT_EQ(ReadBytes(data_ / "Wardlet.option").size(), 44u);
        }
    }
    EXPECT_GE(iterations, 50) << "too few iterations to mean anything";
    EXPECT_GT(checks, 0);
    RecordProperty("iterations", iterations);
}

}  // namespace
}  // namespace wardlet::test
