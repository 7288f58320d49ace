#pragma once

// What the store tests share: records made by name, the files of a folder, the list and check
// starter that log every call, the fixture over a fresh data folder, and a file size limit.
#include "monitor/model/document_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "file_bytes.h"
#include "monitor/app/document_row_list.h"
#include "monitor/model/account_scramble.h"
#include "temp_home.h"

namespace wardlet {

using test::FileMode;
using test::ReadBytes;
using test::TempDataHome;
using test::WriteBytes;
namespace fs = std::filesystem;
using namespace std::string_literals;

inline DocumentRecord Doc(const std::string& name,
                          DocumentStatus status = DocumentStatus::Checked) {
    DocumentRecord r{};
    r.type = static_cast<int32_t>(DocumentType::WebPage);
    SetFieldText(r.name, name);
    SetFieldText(r.location, "http://example.com/" + name);
    r.status = static_cast<int32_t>(status);
    return r;
}

inline std::string Bytes(const DocumentRecord& r) {
    auto b = ToBytes(r);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

inline std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The list and the check starter of the store: rows kept by the document row list, and a log of
// each call with the files present at that moment, so the order of steps shows.
class Recorder : public DocumentListSink, public CheckStarter {
public:
    explicit Recorder(DocumentStore& store) : store_(store), rows_(store.table()) {}
    void AddRow(size_t i) override {
        Log("AddRow " + Name(i) + Files(Name(i)));
        rows_.AddRow(i);
    }
    void RefreshRow(size_t i) override { rows_.RefreshRow(i); }
    void RefreshEditedRow(size_t i, std::string_view oldName) override {
        Log("Refresh " + std::string(oldName) + Files(std::string(oldName)) + " -> " + Name(i) +
            Files(Name(i)));
        rows_.RefreshEditedRow(i, oldName);
    }
    void RemoveRow(size_t i) override {
        Log("RemoveRow " + Name(i) + Files(Name(i)));
        rows_.RemoveRow(i);
    }
    std::optional<size_t> FindRowOfRecord(size_t i) override { return rows_.FindRowOfRecord(i); }
    void StartCheckThreads() override { Log("Start"); }

    std::vector<std::string> Rows() const { return rows_.Names(); }
    std::vector<std::string> TakeLog() { return std::exchange(log_, {}); }

private:
    std::string Name(size_t i) { return std::string(FieldText(store_.table().Get(i).name)); }
    std::string Files(const std::string& name) {
        std::string present;
        if (fs::exists(store_.DataFile(name))) present += " data";
        if (fs::exists(store_.ContentFile(name))) present += " content";
        return "[" + present + " ]";
    }
    void Log(std::string line) { log_.push_back(std::move(line)); }

    DocumentStore& store_;
    DocumentRowList rows_;
    std::vector<std::string> log_;
};

struct StoreFixture : ::testing::Test {
    TempDataHome home;
    fs::path folder = home.makeDataFolder();
    DocumentTable table;
    DocumentStore store{folder, table};
    Recorder recorder{store};
    StoreFixture() {
        store.SetList(&recorder);
        store.SetCheckStarter(&recorder);
    }
    void Put(const std::string& fileName, const DocumentRecord& r) {
        WriteBytes(folder / fileName, Bytes(r));
    }
};

// Writes past `bytes` fail in this process while it lives, as on a full disk (root included).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        handler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, handler_);
    }

private:
    rlimit saved_{};
    sighandler_t handler_;
};

}  // namespace wardlet
