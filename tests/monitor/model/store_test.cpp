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
namespace {

using test::FileMode;
using test::ReadBytes;
using test::TempDataHome;
using test::WriteBytes;
namespace fs = std::filesystem;
using namespace std::string_literals;

DocumentRecord Doc(const std::string& name, DocumentStatus status = DocumentStatus::Checked) {
    DocumentRecord r{};
    r.type = static_cast<int32_t>(DocumentType::WebPage);
    SetFieldText(r.name, name);
    SetFieldText(r.location, "http://example.com/" + name);
    r.status = static_cast<int32_t>(status);
    return r;
}

std::string Bytes(const DocumentRecord& r) {
    auto b = ToBytes(r);
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

std::set<std::string> Entries(const fs::path& folder) {
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

using LoadAllDocuments = StoreFixture;

TEST_F(LoadAllDocuments, EmptyFolderOrNoDataFilesGivesEmptyTable) {
    EXPECT_EQ(store.LoadAllDocuments().loaded, 0u);
    WriteBytes(folder / "Old.content", "content");
    WriteBytes(folder / "Wardlet.option", std::string(44, '\0'));
    WriteBytes(folder / "Notes.data.txt", Bytes(Doc("Notes")));
    auto report = store.LoadAllDocuments();
    EXPECT_EQ(report.loaded, 0u);
    EXPECT_TRUE(report.refused.empty());
    EXPECT_EQ(table.size(), 0u);
    EXPECT_TRUE(recorder.Rows().empty());
}

TEST_F(LoadAllDocuments, WrongSizesAreSkippedAndTheNextFileTakesTheSlot) {
    WriteBytes(folder / "Short.data", Bytes(Doc("Short")).substr(0, 4631));
    WriteBytes(folder / "Empty.data", "");
    WriteBytes(folder / "Long.data", Bytes(Doc("Long")) + "x");
    DocumentRecord changed = Doc("Good", DocumentStatus::Changed);
    SetFieldText(changed.lastCheck, "2026/03/07 [09:05:00]");
    Put("Good.data", changed);
    auto report = store.LoadAllDocuments();
    EXPECT_EQ(report.loaded, 1u);
    EXPECT_EQ(std::set<std::string>(report.refused.begin(), report.refused.end()),
              (std::set<std::string>{"Short.data", "Empty.data", "Long.data"}));
    ASSERT_EQ(table.size(), 1u);
    EXPECT_EQ(Bytes(table.Get(0)), Bytes(changed)) << "status and fields are kept as stored";
    EXPECT_EQ(recorder.Rows(), std::vector<std::string>{"Good"});
    EXPECT_EQ(recorder.TakeLog(), std::vector<std::string>{"AddRow Good[ data ]"});
}

TEST_F(LoadAllDocuments, SameNameInTwoFilesLoadsTwiceWithPlainAccounts) {
    DocumentRecord first = Doc("Same"), second = Doc("Same", DocumentStatus::Unavailable);
    second.status = 7;
    second.useAccount = 1;
    SetFieldText(second.userName, "alice");
    SetFieldText(second.password, "pa55");
    DocumentRecord stored = second;
    EncodeAccount(stored);
    Put("one.data", first);
    Put("two.data", stored);
    EXPECT_EQ(store.LoadAllDocuments().loaded, 2u);
    ASSERT_EQ(table.size(), 2u);
    std::map<int32_t, DocumentRecord> byStatus;
    for (size_t i = 0; i < 2; ++i)
        byStatus[table.Get(i).status] = table.Get(i);
    EXPECT_EQ(Bytes(byStatus[0]), Bytes(first));
    EXPECT_EQ(Bytes(byStatus[7]), Bytes(second));
    EXPECT_EQ(recorder.Rows(), (std::vector<std::string>{"Same", "Same"}));
}

TEST_F(LoadAllDocuments, RecordsFillSlotsAndRowsInNameOrder) {
    // Written in a scrambled order; the folder's own order is its hash order. Names compare by
    // their bytes: capitals first, a name before its longer forms, UTF-8 after ASCII.
    const std::vector<std::string> scrambled = {"Echo",  "Charlie", "alpha", "Delta",  "Bravo",
                                                "Alpha", "Zulu",    "Ãrea",  "Alpha-2"};
    for (const auto& name : scrambled)
        Put(name + ".data", Doc(name));
    // A record stored under another file name takes its place by the file's name.
    Put("Aardvark.data", Doc("Yankee"));
    EXPECT_EQ(store.LoadAllDocuments().loaded, scrambled.size() + 1);
    const std::vector<std::string> expected = {"Yankee", "Alpha", "Alpha-2", "Bravo", "Charlie",
                                               "Delta",  "Echo",  "Zulu",    "alpha", "Ãrea"};
    std::vector<std::string> slots;
    for (size_t i = 0; i < table.size(); ++i)
        slots.emplace_back(FieldText(table.Get(i).name));
    EXPECT_EQ(slots, expected);
    EXPECT_EQ(recorder.Rows(), expected);
}

TEST_F(LoadAllDocuments, CraftedNamesAreRefusedAndNothingOutsideIsTouched) {
    std::vector<std::string> bad = {"",     "../victim", "sub/x", "a\\b", "a:b",  "a*b", "a?b",
                                    "a\"b", "a<b",       "a>b",   "a|b",  "t\tb", "n\nb"};
    std::map<std::string, std::string> crafted;
    for (size_t i = 0; i < bad.size(); ++i) {
        std::string file = "crafted" + std::to_string(i) + ".data";
        crafted[file] = Bytes(Doc(bad[i], DocumentStatus::Retrieving));
    }
    DocumentRecord unterminated = Doc("x");
    memset(unterminated.name, 'A', sizeof unterminated.name);
    crafted["unterminated.data"] = Bytes(unterminated);
    for (const auto& [file, bytes] : crafted)
        WriteBytes(folder / file, bytes);
    Put("Fine.data", Doc("Fine"));
    fs::create_directory(folder / "sub");
    WriteBytes(folder / "sub" / "x.data", "inside sub");
    fs::path outside = folder.parent_path();
    WriteBytes(outside / "victim.data", "outside data");
    WriteBytes(outside / "victim.content", "outside content");
    WriteBytes(outside / "Linked.record", Bytes(Doc("Linked")));
    fs::create_symlink(outside / "Linked.record", folder / "Linked.data");
    fs::create_symlink(outside / "victim.content", folder / "Victim.tmp");
    auto outsideBefore = Entries(outside);

    auto report = store.LoadAllDocuments();
    EXPECT_EQ(report.loaded, 1u);
    EXPECT_EQ(report.refused.size(), crafted.size());
    EXPECT_EQ(recorder.Rows(), std::vector<std::string>{"Fine"});
    store.SaveAllDocuments();
    store.DeleteDocuments({"../victim", "sub/x"});
    store.DeleteTempFiles();

    for (const auto& [file, bytes] : crafted)
        EXPECT_EQ(ReadBytes(folder / file), bytes) << file << " must stay as it is";
    EXPECT_EQ(ReadBytes(folder / "sub" / "x.data"), "inside sub");
    EXPECT_EQ(ReadBytes(outside / "victim.data"), "outside data");
    EXPECT_EQ(ReadBytes(outside / "victim.content"), "outside content");
    EXPECT_EQ(ReadBytes(outside / "Linked.record"), Bytes(Doc("Linked")));
    EXPECT_EQ(Entries(outside), outsideBefore);
}

using SaveDocuments = StoreFixture;

TEST_F(SaveDocuments, ExitWritesRetrievingAsWaitingAndRemovesOnlyTmpFiles) {
    table.Add(Doc("Busy", DocumentStatus::Retrieving));
    table.Add(Doc("Changed", DocumentStatus::Changed));
    for (const char* name : {"UVP1A2B.tmp", "Doc.data.0a1b2c.tmp", "Wardlet.mail.tmp"})
        WriteBytes(folder / name, "temporary");
    WriteBytes(folder / "notes.tmp.txt", "kept");
    WriteBytes(folder / "Busy.content", "kept");
    store.SaveAllDocuments();

    EXPECT_EQ(Entries(folder), (std::set<std::string>{"Busy.data", "Busy.content", "Changed.data",
                                                      "notes.tmp.txt"}));
    EXPECT_EQ(table.Get(0).status, int32_t(DocumentStatus::Waiting));
    EXPECT_EQ(ReadBytes(folder / "Busy.data"), Bytes(Doc("Busy", DocumentStatus::Waiting)));
    EXPECT_EQ(ReadBytes(folder / "Changed.data"), Bytes(Doc("Changed", DocumentStatus::Changed)));
    EXPECT_NE(FileMode(folder / "Busy.data") & 0077, 0u) << "no secret in it";

    DocumentTable reloaded;
    DocumentStore again(folder, reloaded);
    EXPECT_EQ(again.LoadAllDocuments().loaded, 2u);
    EXPECT_EQ(reloaded.Get(again.FindRecordByName("Busy")).status,
              int32_t(DocumentStatus::Waiting));
}

TEST_F(SaveDocuments, RetrievingNeverReachesDiskAndLoadsAsWaiting) {
    // A save while a pass holds the claim (an add or edit racing a check) writes Waiting.
    size_t busy = table.Add(Doc("Busy", DocumentStatus::Retrieving));
    ASSERT_TRUE(store.SaveDocument(busy));
    EXPECT_EQ(ReadBytes(folder / "Busy.data"), Bytes(Doc("Busy", DocumentStatus::Waiting)));
    EXPECT_EQ(table.Get(busy).status, int32_t(DocumentStatus::Retrieving));

    Put("Crashed.data", Doc("Crashed", DocumentStatus::Retrieving));  // from an older program
    DocumentTable reloaded;
    DocumentStore again(folder, reloaded);
    ASSERT_EQ(again.LoadAllDocuments().loaded, 2u);
    EXPECT_EQ(reloaded.Get(again.FindRecordByName("Crashed")).status,
              int32_t(DocumentStatus::Waiting));
}

TEST_F(SaveDocuments, ARecordLoadedFromAFileOfAnotherNameEndsInItsOwnFile) {
    Put("Doc.data", Doc("doc"));
    Put("renamed by hand.data", Doc("Gone"));
    Put("one.data", Doc("Twice"));  // two files, one name: both stay
    Put("two.data", Doc("Twice", DocumentStatus::Changed));
    ASSERT_EQ(store.LoadAllDocuments().loaded, 4u);
    store.DeleteDocuments({"Gone"});  // before any save: the file it came from goes too
    EXPECT_EQ(Entries(folder).count("renamed by hand.data"), 0u) << "it would load again";
    store.SaveAllDocuments();
    EXPECT_EQ(Entries(folder),
              (std::set<std::string>{"doc.data", "Twice.data", "one.data", "two.data"}));
    EXPECT_EQ(ReadBytes(folder / "doc.data"), Bytes(Doc("doc")));
    DocumentTable reloaded;
    DocumentStore again(folder, reloaded);
    EXPECT_EQ(again.LoadAllDocuments().loaded, 4u) << "doc once, Twice three times";
}

TEST_F(SaveDocuments, AccountIsScrambledOnDiskOnlyAndTheFileIsPrivate) {
    DocumentRecord r = Doc("Private");
    r.useAccount = 1;
    SetFieldText(r.userName, "alice");
    SetFieldText(r.password, "hunter2");
    size_t index = table.Add(r);
    ASSERT_TRUE(store.SaveDocument(index));

    EXPECT_EQ(Bytes(table.Get(index)), Bytes(r)) << "the table keeps plain values";
    EXPECT_EQ(FileMode(folder / "Private.data"), 0600u);
    std::string file = ReadBytes(folder / "Private.data");
    ASSERT_EQ(file.size(), 4632u);
    EXPECT_EQ(file[1032], 5);
    EXPECT_EQ(std::string({file[1033], file[1037], file[1041], file[1045], file[1049]}), "ecila");
    EXPECT_EQ(file[1544], 7);
    EXPECT_EQ(std::string({file[1545], file[1549], file[1553], file[1557], file[1561], file[1565],
                           file[1569]}),
              "2retnuh");
    EXPECT_EQ(file.find("hunter2"), std::string::npos);
    EXPECT_EQ(file.substr(0, 1032), Bytes(r).substr(0, 1032));
    EXPECT_EQ(file.substr(2056), Bytes(r).substr(2056));

    DocumentRecord plain = Doc("Plain");
    store.SaveDocument(table.Add(plain));
    EXPECT_EQ(ReadBytes(folder / "Plain.data").substr(1032, 1024), std::string(1024, '\0'));
}

// The exit save over records loaded from disk, as after every pass.
struct Rewrites : StoreFixture {
    // Loads "a" and "b" as on disk, then gives "a" a new last check and status.
    DocumentRecord LoadAndCheckA() {
        Put("a.data", Doc("a", DocumentStatus::Waiting));
        Put("b.data", Doc("b"));
        EXPECT_EQ(store.LoadAllDocuments().loaded, 2u);
        DocumentRecord checkedA = Doc("a", DocumentStatus::Changed);
        SetFieldText(checkedA.lastCheck, "2026/12/08 [11:40:05]");
        table.Modify(store.FindRecordByName("a"), [&](DocumentRecord& r) { r = checkedA; });
        return checkedA;
    }
};

TEST_F(Rewrites, TheExitSaveKeepsEveryFileAndWritesOnlyWhatDiffers) {
    DocumentRecord checkedA = LoadAndCheckA();
    auto before = test::FolderInodes(folder);
    store.SaveAllDocuments();

    EXPECT_EQ(test::FolderInodes(folder), before) << "no new file, no journal left";
    EXPECT_EQ(ReadBytes(folder / "a.data"), Bytes(checkedA));
    EXPECT_EQ(ReadBytes(folder / "b.data"), Bytes(Doc("b")));
    DocumentTable reloaded;
    DocumentStore again(folder, reloaded);
    ASSERT_EQ(again.LoadAllDocuments().loaded, 2u);
    EXPECT_EQ(Bytes(reloaded.Get(again.FindRecordByName("a"))), Bytes(checkedA));
}

TEST_F(Rewrites, AnAccountALinkOrASecondNameGetsANewFileInstead) {
    Put("secret.data", Doc("secret"));
    Put("linked.data", Doc("linked", DocumentStatus::Waiting));
    fs::create_hard_link(folder / "linked.data", folder / "second name");
    Put("pointed.data", Doc("pointed", DocumentStatus::Waiting));
    ASSERT_EQ(store.LoadAllDocuments().loaded, 3u);
    // A link planted while the program runs is replaced, never written through.
    fs::remove(folder / "pointed.data");
    WriteBytes(folder / "outside", Bytes(Doc("pointed", DocumentStatus::Waiting)));
    fs::create_symlink(folder / "outside", folder / "pointed.data");
    for (size_t i = 0; i < table.size(); ++i)
        table.Modify(i, [](DocumentRecord& r) {
            r.status = static_cast<int32_t>(DocumentStatus::Checked);
            if (FieldText(r.name) != "secret") return;
            r.useAccount = 1;
            SetFieldText(r.userName, "alice");
        });
    ino_t secretBefore = test::InodeOf(folder / "secret.data");
    store.SaveAllDocuments();

    EXPECT_EQ(FileMode(folder / "secret.data"), 0600u) << "never briefly readable by others";
    EXPECT_NE(test::InodeOf(folder / "secret.data"), secretBefore);
    EXPECT_EQ(ReadBytes(folder / "secret.data").find("alice"), std::string::npos);
    EXPECT_EQ(ReadBytes(folder / "linked.data"), Bytes(Doc("linked")));
    EXPECT_EQ(ReadBytes(folder / "second name"), Bytes(Doc("linked", DocumentStatus::Waiting)));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "pointed.data")));
    EXPECT_EQ(ReadBytes(folder / "outside"), Bytes(Doc("pointed", DocumentStatus::Waiting)));
}

TEST_F(Rewrites, ARewriteThatCannotBeMadeGivesTheRecordANewFile) {
    DocumentRecord checkedA = LoadAndCheckA();
    // Between the journal and the rewrite the file becomes a link: it is not written through.
    RecordWriter::SetBeforeMovesHookForTesting([&] {
        fs::rename(folder / "a.data", folder / "outside");
        fs::create_symlink(folder / "outside", folder / "a.data");
    });
    store.SaveAllDocuments();
    RecordWriter::SetBeforeMovesHookForTesting({});
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / "a.data")));
    EXPECT_EQ(ReadBytes(folder / "a.data"), Bytes(checkedA));
    EXPECT_EQ(ReadBytes(folder / "outside"), Bytes(Doc("a", DocumentStatus::Waiting)));
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"a.data", "b.data", "outside"}));
}

TEST_F(Rewrites, AKillInTheMiddleOfTheRewritesIsFinishedByTheNextStart) {
    // Nothing written through the store yet, so the child is the only thread when it forks.
    DocumentRecord checkedA = LoadAndCheckA();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RecordWriter::SetBeforeMovesHookForTesting([] { raise(SIGKILL); });
        store.SaveAllDocuments();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the hook was not reached";
    ASSERT_TRUE(fs::exists(folder / "Wardlet.journal"));
    // As a power cut could leave it: the first half of the page written, the rest not.
    std::string torn = Bytes(checkedA).substr(0, 2060) + Bytes(Doc("a")).substr(2060);
    WriteBytes(folder / "a.data", torn);

    // A program that only reads sees the records as they were becoming.
    DocumentTable reading;
    DocumentStore reader(folder, reading);
    ASSERT_EQ(reader.LoadAllDocuments().loaded, 2u);
    EXPECT_EQ(Bytes(reading.Get(reader.FindRecordByName("a"))), Bytes(checkedA));

    DocumentTable next;
    DocumentStore start(folder, next);
    start.DeleteStrayFiles();  // under the lock, as a start that writes does
    EXPECT_EQ(ReadBytes(folder / "a.data"), Bytes(checkedA));
    EXPECT_EQ(ReadBytes(folder / "b.data"), Bytes(Doc("b")));
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"a.data", "b.data"}));
}

using DocumentOperations = StoreFixture;

TEST_F(DocumentOperations, AddEditDeleteInOrderWithTheirFiles) {
    EXPECT_EQ(store.AddDocument(Doc("A", DocumentStatus::Waiting)), 0u);
    EXPECT_EQ(store.AddDocument(Doc("B", DocumentStatus::Waiting)), 1u);
    EXPECT_EQ(store.AddDocument(Doc("C", DocumentStatus::Waiting)), 2u);
    EXPECT_EQ(recorder.TakeLog(), (std::vector<std::string>{"AddRow A[ ]", "Start", "AddRow B[ ]",
                                                            "Start", "AddRow C[ ]", "Start"}));
    EXPECT_EQ(ReadBytes(folder / "B.data"), Bytes(Doc("B", DocumentStatus::Waiting)));

    for (const char* file : {"B.content", "B.middle"})
        WriteBytes(folder / file, "stored copy");
    // Another location: the stored copy goes, and only after the edited record is on disk.
    EXPECT_EQ(store.EditDocument(1, Doc("B2", DocumentStatus::Waiting)), EditOutcome::Saved);
    EXPECT_EQ(recorder.TakeLog(),
              (std::vector<std::string>{"Refresh B[ ] -> B2[ data ]", "Start"}));
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"A.data", "B2.data", "C.data"}));
    EXPECT_EQ(ReadBytes(folder / "B2.data"), Bytes(Doc("B2", DocumentStatus::Waiting)));
    EXPECT_EQ(table.Get(1).status, int32_t(DocumentStatus::Waiting)) << "ready to be checked";
    EXPECT_EQ(recorder.Rows(), (std::vector<std::string>{"A", "B2", "C"}));

    for (const char* file : {"A.content", "A.middle", "C.content", "C.middle"})
        WriteBytes(folder / file, "stored copy");
    store.DeleteDocuments({"A", "C"});
    EXPECT_EQ(recorder.TakeLog(), (std::vector<std::string>{"RemoveRow C[ data content ]",
                                                            "RemoveRow A[ data content ]"}));
    EXPECT_EQ(Entries(folder), std::set<std::string>{"B2.data"});
    EXPECT_TRUE(table.IsFree(0));
    EXPECT_TRUE(table.IsFree(2));
    EXPECT_EQ(Bytes(table.Get(0)), std::string(4632, '\0'));
    EXPECT_EQ(recorder.Rows(), std::vector<std::string>{"B2"});
    // The new row goes where its slot is: all lower slots are listed.
    EXPECT_EQ(store.AddDocument(Doc("D", DocumentStatus::Waiting)), 0u);
    EXPECT_EQ(recorder.Rows(), (std::vector<std::string>{"D", "B2"}));
}

TEST_F(DocumentOperations, DeletingTheOnlyDocumentFreesSlotZero) {
    Put("Only.data", Doc("Only"));
    ASSERT_EQ(store.LoadAllDocuments().loaded, 1u);
    store.DeleteDocuments({"Only"});
    EXPECT_TRUE(table.IsFree(0));
    EXPECT_TRUE(recorder.Rows().empty());
    EXPECT_TRUE(Entries(folder).empty());
    EXPECT_EQ(store.AddDocument(Doc("Next", DocumentStatus::Waiting)), 0u);
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(store.FindRecordByName("Next"), 0u);
    EXPECT_EQ(store.FindRecordByName("next"), DocumentTable::kNoSlot);
}

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

// A counted page checked before: its record in the table and on disk, a stored copy and an
// extract whose bytes a lost or half-moved file would not match.
struct EditDocument : StoreFixture {
    const std::string copy = "<p>count a a\0\r\n"s + std::string(200, 'a');
    const std::string extract = "mid\0dle"s;
    DocumentRecord checked;

    size_t Load(const std::string& name, DocumentStatus status = DocumentStatus::Changed) {
        checked = Doc(name, status);
        checked.useCount = 1;
        SetFieldText(checked.countString, "a");
        checked.lastCount = 3003;
        SetFieldText(checked.lastCheck, "2026/03/07 [09:05:00]");
        Put(name + ".data", checked);
        WriteBytes(store.ContentFile(name), copy);
        WriteBytes(store.MiddleFile(name), extract);
        size_t index = table.Add(checked);
        recorder.AddRow(index);
        recorder.TakeLog();
        return index;
    }
    // The record as the properties editor stages it: its results reset, status Waiting.
    DocumentRecord Staged(const std::string& name) const {
        DocumentRecord r = checked;
        SetFieldText(r.name, name);
        r.status = static_cast<int32_t>(DocumentStatus::Waiting);
        r.lastCount = 0;
        SetFieldText(r.lastCheck, "");
        return r;
    }
    // What a new store finds in the folder.
    std::vector<std::string> Reloaded(std::string_view name, DocumentRecord& record) {
        DocumentTable reloaded;
        DocumentStore again(folder, reloaded);
        again.LoadAllDocuments();
        std::vector<std::string> names;
        for (size_t i = 0; i < reloaded.size(); ++i)
            if (!reloaded.IsFree(i)) names.push_back(reloaded.Name(i));
        if (size_t i = again.FindRecordByName(name); i != DocumentTable::kNoSlot)
            record = reloaded.Get(i);
        return names;
    }
};

TEST_F(EditDocument, ANewNameOrAccountKeepsTheStoredCopyCountAndStatus) {
    size_t i = Load("Old", DocumentStatus::Waiting);
    // A pass claiming the record while it is being saved would find no copy under the new name
    // yet, make a first check and store over the kept copy.
    std::optional<bool> claimedDuringSave;
    RecordWriter::SetBeforeMovesHookForTesting([&] {
        DocumentRecord claimed;
        uint64_t generation;
        claimedDuringSave = table.TryClaim(i, claimed, generation);
    });
    DocumentRecord kept = Staged("New");
    EditOutcome outcome = store.EditDocument(i, kept);
    RecordWriter::SetBeforeMovesHookForTesting({});
    EXPECT_EQ(outcome, EditOutcome::Saved);
    EXPECT_EQ(claimedDuringSave, false);
    kept.lastCount = checked.lastCount;
    memcpy(kept.lastCheck, checked.lastCheck, sizeof kept.lastCheck);
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"New.data", "New.content", "New.middle"}));
    EXPECT_EQ(ReadBytes(store.ContentFile("New")), copy);
    EXPECT_EQ(ReadBytes(store.MiddleFile("New")), extract);
    EXPECT_EQ(Bytes(table.Get(i)), Bytes(kept)) << "Waiting, with the count and the last check";
    EXPECT_EQ(ReadBytes(store.DataFile("New")), Bytes(kept));
    EXPECT_EQ(recorder.TakeLog(),
              (std::vector<std::string>{"Refresh Old[ ] -> New[ data content ]", "Start"}));

    // Same name, an account: the files stay where they are, and so does a Changed status.
    table.Modify(i, [](DocumentRecord& r) { r.status = int32_t(DocumentStatus::Changed); });
    checked = table.Get(i);
    DocumentRecord account = Staged("New");
    account.useAccount = 1;
    SetFieldText(account.userName, "alice");
    SetFieldText(account.password, "pa55");
    EXPECT_EQ(store.EditDocument(i, account), EditOutcome::Saved);
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"New.data", "New.content", "New.middle"}));
    EXPECT_EQ(ReadBytes(store.ContentFile("New")), copy);
    EXPECT_EQ(ReadBytes(store.MiddleFile("New")), extract);
    DocumentRecord after = table.Get(i);
    EXPECT_EQ(after.status, int32_t(DocumentStatus::Changed));
    EXPECT_EQ(after.lastCount, 3003);
    EXPECT_EQ(FieldText(after.lastCheck), "2026/03/07 [09:05:00]");
    EXPECT_EQ(FieldText(after.userName), "alice");

    DocumentRecord loaded{};
    EXPECT_EQ(Reloaded("New", loaded), std::vector<std::string>{"New"});
    EXPECT_EQ(Bytes(loaded), Bytes(after));
}

TEST_F(EditDocument, AnythingTheCheckComparesChangedStartsAfresh) {
    struct Change {
        const char* what;
        std::string name;
        std::function<void(DocumentRecord&)> apply;
    };
    std::vector<Change> changes = {
        {"location", "Doc", [](DocumentRecord& r) { SetFieldText(r.location, "http://b/"); }},
        {"count string", "Doc", [](DocumentRecord& r) { SetFieldText(r.countString, "b"); }},
        {"count string and name", "Other",
         [](DocumentRecord& r) { SetFieldText(r.countString, "A"); }},
        {"type", "Doc", [](DocumentRecord& r) { r.type = int32_t(DocumentType::WebFile); }},
        {"middle method", "Doc", [](DocumentRecord& r) { r.useMiddle = 1; }},
        {"middle end", "Doc", [](DocumentRecord& r) { SetFieldText(r.middleEnd, "</b>"); }},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.what);
        size_t i = Load("Doc");
        DocumentRecord staged = Staged(change.name);
        change.apply(staged);
        EXPECT_EQ(store.EditDocument(i, staged), EditOutcome::Saved);
        EXPECT_EQ(Entries(folder), std::set<std::string>{change.name + ".data"});
        EXPECT_EQ(Bytes(table.Get(i)), Bytes(staged));
        EXPECT_EQ(ReadBytes(store.DataFile(change.name)), Bytes(staged));
        store.DeleteDocuments({change.name});
        ASSERT_TRUE(Entries(folder).empty());
    }
}

TEST_F(EditDocument, ARecordThatCannotBeWrittenLeavesTheOldDocumentWhole) {
    for (const std::string newName : {"Renamed", "Doc"}) {
        SCOPED_TRACE(newName);
        size_t i = Load("Doc", DocumentStatus::Waiting);
        DocumentRecord staged = Staged(newName);
        SetFieldText(staged.location, "http://elsewhere/");
        EditOutcome outcome;
        {
            // Less than the journal of one record takes: a rewrite in place needs no new
            // space, but it is never made without its journal.
            FileSizeLimit full(64);
            outcome = store.EditDocument(i, staged);
        }
        EXPECT_EQ(outcome, EditOutcome::NotSaved);
        EXPECT_EQ(Entries(folder),
                  (std::set<std::string>{"Doc.data", "Doc.content", "Doc.middle"}));
        EXPECT_EQ(ReadBytes(store.DataFile("Doc")), Bytes(checked));
        EXPECT_EQ(ReadBytes(store.ContentFile("Doc")), copy);
        EXPECT_EQ(ReadBytes(store.MiddleFile("Doc")), extract);
        EXPECT_EQ(Bytes(table.Get(i)), Bytes(checked)) << "the slot holds what the files hold";
        EXPECT_EQ(recorder.Rows(), std::vector<std::string>{"Doc"});
        EXPECT_EQ(recorder.TakeLog(), std::vector<std::string>{}) << "no check was started";
        store.DeleteDocuments({"Doc"});
    }
}

TEST_F(EditDocument, AKillBeforeTheEditedRecordIsInPlaceLeavesTheOldDocument) {
    // Nothing written through the store yet, so the child is the only thread when it forks.
    size_t i = Load("Doc");
    DocumentRecord staged = Staged("Renamed");
    SetFieldText(staged.location, "http://elsewhere/");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RecordWriter::SetBeforeMovesHookForTesting([] { raise(SIGKILL); });
        (void)store.EditDocument(i, staged);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the hook was not reached";

    std::set<std::string> left = Entries(folder);
    for (auto file = left.begin(); file != left.end();)
        file = file->ends_with(".tmp") ? left.erase(file) : std::next(file);
    EXPECT_EQ(left, (std::set<std::string>{"Doc.data", "Doc.content", "Doc.middle"}));
    EXPECT_EQ(ReadBytes(store.ContentFile("Doc")), copy);
    EXPECT_EQ(ReadBytes(store.MiddleFile("Doc")), extract);
    DocumentRecord loaded{};
    EXPECT_EQ(Reloaded("Doc", loaded), std::vector<std::string>{"Doc"});
    EXPECT_EQ(Bytes(loaded), Bytes(checked));
}

}  // namespace
}  // namespace wardlet
