#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "monitor/app/document_row_list.h"
#include "monitor/engine/check_engine.h"
#include "peer_process.h"
#include "temp_home.h"

namespace wardlet::test {

// Records every call out of the checks, in order, as short texts ("sound 2", "select 0",
// "tray", "open 0", "message ...", "note ...", "ended NAME STATUS"); rows come from the document
// row list.
class RecordingObserver : public CheckObserver {
public:
    explicit RecordingObserver(DocumentRowList& list) : list_(list) {}
    void RefreshRow(size_t index) override {
        if (throwOnRefresh.exchange(false)) throw std::bad_alloc();
        list_.RefreshRow(index);
    }
    std::optional<size_t> FindRowOfRecord(size_t index) override {
        return list_.FindRowOfRecord(index);
    }
    void SelectRowOfRecord(size_t index) override { Record("select " + std::to_string(index)); }
    void PlaySound(NotifyKind kind) override {
        Record("sound " + std::to_string(static_cast<int>(kind)));
    }
    void TrayAlert(size_t, NotifyKind, std::optional<ChangedLineCount> lines) override {
        Record("tray");
        std::lock_guard guard(lock_);
        trayLines = lines
                        ? "+" + std::to_string(lines->added) + " -" + std::to_string(lines->removed)
                        : std::string("none");
    }
    void ShowMessage(std::string_view text) override { Record("message " + std::string(text)); }
    void OpenDocument(size_t row) override { Record("open " + std::to_string(row)); }
    void CheckNote(size_t, std::string_view text) override { Record("note " + std::string(text)); }
    void CheckEnded(size_t index, const DocumentRecord& record) override;

    std::vector<std::string> Calls();  // takes the calls recorded so far
    size_t EndedCount(const std::string& name);

    std::function<void(size_t)> onCheckEnded;  // test hook, run on the check thread
    std::atomic<bool> throwOnRefresh{false};   // the next RefreshRow fails as if out of memory
    std::string trayLines;                     // the line counts of the last TrayAlert

private:
    void Record(std::string call);
    DocumentRowList& list_;
    std::mutex lock_;
    std::vector<std::string> calls_;
    std::vector<std::string> ended_;
};

// Time-outs short enough for stall cases to end in a few seconds.
TransferLimits QuickLimits();

// A data folder with a table, a store, a row list, recording observer and engine. Every
// notification is on: sound, selection, e-mail entries for both events, markNotifiedChecked.
class EngineTest : public ::testing::Test {
protected:
    EngineTest();
    ~EngineTest() override;

    // A document saved with status Checked (so that only an explicit trigger checks it).
    size_t AddDocument(DocumentType type, const std::string& name, const std::string& location,
                       const std::function<void(DocumentRecord&)>& more = {});
    // Check Selected on one document (a Changed one is first marked Checked) and wait.
    DocumentRecord Check(size_t index);
    DocumentStatus StatusOf(size_t index);
    std::string Content(const std::string& name);
    bool HasContent(const std::string& name);
    // Names of the temporary files left in the data folder.
    std::vector<std::string> TempFiles();
    std::string MailQueue();

    TempDataHome home_;
    std::filesystem::path data_;
    DocumentTable table_;
    DocumentStore store_;
    DocumentRowList list_;
    RecordingObserver observer_;
    FixedEngineSettings settings_;
    std::unique_ptr<CheckEngine> engine_;
};

// The HTTP peer serving the files of its own folder.
class HttpPeer {
public:
    // With `cert` and `key` it speaks HTTPS.
    explicit HttpPeer(const std::string& cert = "", const std::string& key = "");
    std::string Url(const std::string& page, const std::string& scheme = "http") const;
    void SetPage(const std::string& page, const std::string& body, const std::string& meta = "");
    size_t Hits(const std::string& page) const;
    // Connections the peer accepted so far.
    size_t Connections() const;
    // "If-None-Match|If-Modified-Since" of each request so far, "-" for one not sent; taken.
    std::vector<std::string> TakeConditions();
    // A file the peer wrote into its folder ("" when there is none).
    std::string Read(const std::string& file) const;

private:
    TempDir root_;
    std::unique_ptr<PeerProcess> process_;
};

}  // namespace wardlet::test
