// Loading the documents at start, writing them back at exit, and rewriting records in place.
#include "monitor/model/record_journal.h"
#include "store_fixture.h"

namespace wardlet {
namespace {

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
    // The bytes of "a" as a program that only reads the folder loads them.
    std::string LoadedByAReader() {
        DocumentTable reading;
        DocumentStore reader(folder, reading);
        if (reader.LoadAllDocuments().loaded != 2u) return "not both records loaded";
        return Bytes(reading.Get(reader.FindRecordByName("a")));
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

TEST_F(Rewrites, TheLastSaveOfARunLeavesItsJournalForTheNextStartToMakeDurable) {
    DocumentRecord checkedA = LoadAndCheckA();
    auto before = test::FolderInodes(folder);
    store.SaveAllDocumentsAtExit();
    EXPECT_EQ(ReadBytes(folder / "a.data"), Bytes(checkedA));
    EXPECT_TRUE(RecordJournalAppliedThisBoot(folder));
    EXPECT_EQ(ReadRecordJournal(folder).size(), 1u) << "only what differed";
    for (const auto& [name, inode] : before)
        EXPECT_EQ(test::InodeOf(folder / name), inode) << name;

    // A later start on this boot finds the rewrites in: it reads the files and only makes them
    // durable. Had it written the journal's image again, this stand-in would be gone.
    DocumentRecord standIn = checkedA;
    SetFieldText(standIn.lastCheck, "2026/12/08 [11:40:06]");
    Put("a.data", standIn);
    EXPECT_EQ(LoadedByAReader(), Bytes(standIn));
    {
        DocumentTable next;
        DocumentStore start(folder, next);
        start.DeleteStrayFiles();
        ASSERT_EQ(start.LoadAllDocuments().loaded, 2u);
    }
    EXPECT_FALSE(fs::exists(folder / kRecordJournalFile));
    EXPECT_EQ(ReadBytes(folder / "a.data"), Bytes(standIn));
    EXPECT_EQ(ReadBytes(folder / "b.data"), Bytes(Doc("b")));
}

TEST_F(Rewrites, ABatchAfterTheLastSaveMakesItsRewritesDurableFirst) {
    LoadAndCheckA();
    store.SaveAllDocumentsAtExit();
    ASSERT_TRUE(fs::exists(folder / kRecordJournalFile));
    size_t b = store.FindRecordByName("b");
    table.Modify(b, [](DocumentRecord& r) { SetStatus(r, DocumentStatus::Unavailable); });
    EXPECT_TRUE(store.SaveDocument(b));
    EXPECT_FALSE(fs::exists(folder / kRecordJournalFile));
    EXPECT_EQ(ReadBytes(folder / "b.data"), Bytes(table.Get(b)));
}

TEST_F(Rewrites, ALastSaveThatRenamesAFileMakesEverythingDurableAtOnce) {
    // The journal redoes rewrites, not the new file an account's record gets.
    Put("secret.data", Doc("secret"));
    ASSERT_EQ(store.LoadAllDocuments().loaded, 1u);
    table.Modify(0, [](DocumentRecord& r) {
        r.useAccount = 1;
        SetFieldText(r.userName, "alice");
    });
    store.SaveAllDocumentsAtExit();
    EXPECT_FALSE(fs::exists(folder / kRecordJournalFile));
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"secret.data"}));
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
    EXPECT_EQ(LoadedByAReader(), Bytes(checkedA));

    DocumentTable next;
    DocumentStore start(folder, next);
    start.DeleteStrayFiles();  // under the lock, as a start that writes does
    EXPECT_EQ(ReadBytes(folder / "a.data"), Bytes(checkedA));
    EXPECT_EQ(ReadBytes(folder / "b.data"), Bytes(Doc("b")));
    EXPECT_EQ(Entries(folder), (std::set<std::string>{"a.data", "b.data"}));
}

}  // namespace
}  // namespace wardlet
