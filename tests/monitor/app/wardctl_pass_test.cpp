// The foreground pass wardctl runs, over documents loaded from a data folder.
#include "monitor/app/wardctl_pass.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "common/little_endian.h"
#include "common/mail_queue.h"
#include "engine_fixture.h"
#include "file_bytes.h"
#include "monitor/model/record_journal.h"

namespace wardlet::test {
namespace {

using Status = DocumentStatus;

class ForegroundPassTest : public EngineTest {
protected:
    // The document object over the data folder, wired as wardctl wires it: its own observer, no
    // checks started by changes, the options and e-mail settings of the folder.
    struct Loaded {
        CWardletDoc doc;
        WardctlObserver observer{doc.rows()};
        explicit Loaded(const std::filesystem::path& data) : doc(data, {}, QuickLimits()) {
            doc.Attach(observer, ChecksAfterChanges::Leave);
            (void)doc.Load();
            doc.SetMailTimerActive(FlagOn(doc.options().sendEmail));
        }
        DocumentRecord Named(const std::string& name) { return doc.Record(doc.FindDocument(name)); }
    };
    // The options and e-mail settings the engine fixture's checks use: every notification on.
    void WriteSettings(int32_t threads) {
        MonitorOptions options = DefaultOptions();
        options.threadCount = threads;
        options.sendEmail = 1;
        ASSERT_TRUE(SaveOptions(data_, options));
        MailConfig mail{};
        mail.sendOnChange = mail.sendOnUnreachable = 1;
        mail.markNotifiedChecked = 1;
        ASSERT_TRUE(WriteMailConfig(data_ / kMailConfigFile, mail));
    }
    PassSummary Run(const std::vector<std::string>& names, std::vector<std::string>& lines) {
        Loaded loaded(data_);
        loaded.observer.SetOutput([&](const std::string& line) { lines.push_back(line); }, {});
        return RunForegroundPass(loaded.doc, loaded.observer, names);
    }
    std::string Watched(const std::string& name) { return (files_.path() / name).string(); }
    TempDir files_;
};

TEST_F(ForegroundPassTest, ChecksQueuesMailAndWritesTheRecordsBack) {
    WriteSettings(2);
    WriteBytes(Watched("a"), "a1");
    WriteBytes(Watched("b"), "b1");
    AddDocument(DocumentType::LocalFile, "a", Watched("a"));
    AddDocument(DocumentType::LocalFile, "b", Watched("b"));
    AddDocument(DocumentType::LocalFile, "held", Watched("a"),
                [](DocumentRecord& r) { r.status = static_cast<int32_t>(Status::Changed); });
    std::vector<std::string> lines;
    PassSummary first = Run({}, lines);
    EXPECT_EQ(first.ExitStatus(), 0);
    EXPECT_EQ(first.checked, 2u);  // the Changed document is left alone
    ASSERT_EQ(lines.size(), 2u);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines[0].substr(0, 8), "a\tReady\t");
    EXPECT_EQ(lines[1].size(), std::string("b\tReady\t2026/03/07 [09:05:00]").size());

    WriteBytes(Watched("a"), "a2");
    std::filesystem::remove(Watched("b"));
    lines.clear();
    PassSummary second = Run({}, lines);
    EXPECT_EQ(second.ExitStatus(), 3);
    Loaded after(data_);
    EXPECT_EQ(after.Named("a").status, int32_t(Status::Changed));
    EXPECT_EQ(after.Named("b").status, int32_t(Status::Unavailable));
    EXPECT_FALSE(FieldText(after.Named("b").lastCheck).empty());
    std::string queue = ReadBytes(data_ / kMailQueueFile);
    EXPECT_NE(queue.find(" Changed: a\r\r\n"), std::string::npos);
    EXPECT_NE(queue.find(" Unable to retrieve: b\r\r\n"), std::string::npos);

    // Named checks leave a Changed document alone; unknown names check nothing.
    lines.clear();
    EXPECT_EQ(Run({"a"}, lines).checked, 0u);
    EXPECT_EQ(Run({"a", "nobody"}, lines).unknownNames, (std::vector<std::string>{"nobody"}));

    Loaded marking(data_);
    EXPECT_EQ(MarkDocumentsChecked(marking.doc, {"a"}).size(), 0u);
    EXPECT_EQ(Loaded(data_).Named("a").status, int32_t(Status::Checked));
    ino_t markedBefore = InodeOf(data_ / "a.data");
    MarkDocumentsChecked(marking.doc, {});
    EXPECT_EQ(Loaded(data_).Named("held").status, int32_t(Status::Checked));
    EXPECT_EQ(InodeOf(data_ / "a.data"), markedBefore);  // already Checked: not written again
}

TEST_F(ForegroundPassTest, APassOverUnchangedFilesMakesNoFileWithItsWriteBack) {
    for (const char* name : {"a", "b", "c"}) {
        WriteBytes(Watched(name), name);
        AddDocument(DocumentType::LocalFile, name, Watched(name));
    }
    std::vector<std::string> lines;
    ASSERT_EQ(Run({}, lines).checked, 3u);  // the first copies
    auto before = FolderInodes(data_);
    PassSummary again = Run({}, lines);
    EXPECT_EQ(again.checked, 3u);
    EXPECT_EQ(FolderInodes(data_), before) << "the records took their new last check in place";
    Loaded loaded(data_);
    EXPECT_EQ(loaded.Named("c").status, int32_t(Status::Checked));
    EXPECT_FALSE(FieldText(loaded.Named("c").lastCheck).empty());
}

// The last save of a run leaves its journal; the next run, started as wardctl starts, makes that
// save durable on a thread of its own while it checks, and leaves its own save the same way.
TEST_F(ForegroundPassTest, TheNextRunMakesTheLastSaveDurableWhileItChecks) {
    WriteSettings(2);
    for (const char* name : {"a", "b", "c"}) {
        WriteBytes(Watched(name), name);
        AddDocument(DocumentType::LocalFile, name, Watched(name));
    }
    std::vector<std::string> lines;
    ASSERT_EQ(Run({}, lines).checked, 3u);
    EXPECT_TRUE(RecordJournalAppliedThisBoot(data_));

    WriteBytes(Watched("b"), "b2");
    {
        CWardletDoc doc(data_, {}, QuickLimits());
        WardctlObserver observer{doc.rows()};
        ASSERT_EQ(doc.LockDataFolder(), FolderLock::Held);
        doc.Attach(observer, ChecksAfterChanges::Leave);
        (void)doc.Load();
        EXPECT_EQ(RunForegroundPass(doc, observer, {}).checked, 3u);
    }
    EXPECT_TRUE(RecordJournalAppliedThisBoot(data_));
    std::vector<JournalEntry> journal = ReadRecordJournal(data_);
    EXPECT_FALSE(journal.empty());
    for (const JournalEntry& entry : journal)
        EXPECT_EQ(entry.image, ReadBytes(data_ / entry.fileName)) << entry.fileName;
    EXPECT_EQ(Loaded(data_).Named("b").status, int32_t(Status::Changed));
}

}  // namespace
}  // namespace wardlet::test
