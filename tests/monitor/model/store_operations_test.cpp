// Add, Edit and Delete with their files.
#include "store_fixture.h"

namespace wardlet {
namespace {

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
