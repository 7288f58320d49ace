#include "monitor/app/document_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <set>
#include <thread>

#include "commands_fixture.h"
#include "common/little_endian.h"
#include "engine_fixture.h"
#include "fake_command_dialogs.h"
#include "file_bytes.h"
#include "monitor/app/open_target.h"

namespace wardlet::test {
namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

TEST_F(CommandsTest, EachHandlerRefusesWithItsMessageWhenItsSelectionIsWrong) {
    WriteDocument(DocumentType::WebPage, "a", "http://example.org/a");
    WriteDocument(DocumentType::WebPage, "b", "http://example.org/b");
    Start();
    commands_->Copy();
    commands_->Properties();
    commands_->Delete();
    commands_->MarkChecked();
    commands_->CheckSelected();
    commands_->Open();
    Select({"a", "b"});
    commands_->Copy();
    commands_->Properties();
    EXPECT_THAT(
        boxes_.Texts(),
        ElementsAre(kSelectOneToDuplicate, kSelectOneToEdit, kSelectToDelete, kSelectToMark,
                    kSelectToCheck, kSelectOneToOpen, kSelectOneToDuplicate, kSelectOneToEdit));
    for (const auto& box : boxes_.shown)
        EXPECT_EQ(box.icon, MessageIcon::Information);
    // Save As, Content Header and Compared Data do nothing without exactly one row.
    commands_->SaveAs();
    commands_->ContentHeader();
    commands_->ComparedData();
    EXPECT_EQ(boxes_.shown.size(), 8u);
    EXPECT_TRUE(dialogs_.log.empty());
}

TEST_F(CommandsTest, ADisabledCommandDoesNotRunFromAnyPlace) {
    WriteDocument(DocumentType::WebPage, "a", "http://example.org/a", DocumentStatus::Changed);
    WriteDocument(DocumentType::WebPage, "b", "http://example.org/b", DocumentStatus::Changed);
    Start();
    for (CommandId id : {CommandId::Open, CommandId::Delete, CommandId::CheckSelected,
                         CommandId::MarkChecked, CommandId::Properties, CommandId::Copy,
                         CommandId::SaveAs, CommandId::ContentHeader, CommandId::ComparedData}) {
        EXPECT_FALSE(commands_->IsEnabled(id)) << static_cast<int>(id);
        commands_->Run(id);
    }
    Select({"a", "b"});
    for (CommandId id : {CommandId::Properties, CommandId::Copy, CommandId::SaveAs,
                         CommandId::ContentHeader, CommandId::ComparedData})
        commands_->Run(id);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_TRUE(dialogs_.log.empty());
    EXPECT_EQ(StatusOf("a"), DocumentStatus::Changed);
    commands_->Run(CommandId::MarkChecked);  // enabled with two rows
    EXPECT_EQ(StatusOf("a"), DocumentStatus::Checked);
    EXPECT_EQ(StatusOf("b"), DocumentStatus::Checked);
}

TEST_F(CommandsTest, ShowChangesWantsOneDocumentWithAStoredCopy) {
    WriteDocument(DocumentType::WebPage, "kept", "http://example.org/a", DocumentStatus::Changed);
    WriteDocument(DocumentType::WebPage, "bare", "http://example.org/b", DocumentStatus::Checked);
    WriteDocument(DocumentType::WebPage, "link", "http://example.org/c", DocumentStatus::Checked);
    WriteDocument(DocumentType::WebPage, "busy", "http://example.org/d", DocumentStatus::Waiting);
    WriteBytes(data_ / "kept.content", "text");
    WriteBytes(data_ / "busy.content", "text");
    WriteBytes(data_ / "elsewhere", "a private file");
    std::filesystem::create_symlink(data_ / "elsewhere", data_ / "link.content");
    Start();
    EXPECT_FALSE(commands_->IsEnabled(CommandId::ShowChanges));
    Select({"kept"});
    EXPECT_TRUE(commands_->IsEnabled(CommandId::ShowChanges));
    EXPECT_TRUE(commands_->IsEnabled(CommandId::ShowChanges, 1));
    EXPECT_FALSE(commands_->IsEnabled(CommandId::ShowChanges, 2));
    commands_->Run(CommandId::ShowChanges);
    EXPECT_THAT(dialogs_.log, ElementsAre("changes " + std::to_string(IndexOf("kept"))));
    // No copy, a planted link, or two rows: greyed, and nothing runs from any place.
    for (const char* name : {"bare", "link"}) {
        Select({name});
        EXPECT_FALSE(commands_->IsEnabled(CommandId::ShowChanges)) << name;
        commands_->Run(CommandId::ShowChanges);
    }
    Select({"kept", "bare"});
    EXPECT_FALSE(commands_->IsEnabled(CommandId::ShowChanges));
    commands_->Run(CommandId::ShowChanges);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(dialogs_.log.size(), 1u);
    // Called directly (the key on a row whose copy went away): the "not retrieved" message.
    Select({"bare"});
    commands_->ShowChanges();
    Select({"busy"});
    commands_->ShowChanges();
    EXPECT_THAT(boxes_.Texts(), ElementsAre(kNotRetrieved, kNotRetrieved));
    EXPECT_EQ(dialogs_.log.size(), 1u);
    EXPECT_EQ(CommandOf(CommandId::ShowChanges).shortcut, "Ctrl+H");
    EXPECT_EQ(static_cast<int>(CommandId::ShowChanges), 32808);
}

TEST_F(CommandsTest, AddAndCopyStoreTheStagedRecordAndCheckIt) {
    HttpPeer peer;
    peer.SetPage("new", "new page");
    WriteDocument(DocumentType::WebPage, "first", peer.Url("new"), DocumentStatus::Checked);
    Start();
    commands_->Add();  // cancelled: nothing
    EXPECT_EQ(rows_->RowCount(), 1u);
    dialogs_.staged.push_back(Staged(DocumentType::WebPage, "added", peer.Url("new")));
    commands_->Add();
    ASSERT_NE(IndexOf("added"), DocumentTable::kNoSlot);
    EXPECT_EQ(rows_->RowCount(), 2u);
    EXPECT_TRUE(Exists("added.data"));
    WaitIdle();
    EXPECT_EQ(StatusOf("added"), DocumentStatus::Ready);
    EXPECT_EQ(ReadBytes(data_ / "added.content"), "new page");

    Select({"first"});
    dialogs_.staged.push_back(Staged(DocumentType::WebPage, "copied", peer.Url("new")));
    commands_->Copy();
    EXPECT_EQ(OnDisk("copied").type, static_cast<int32_t>(DocumentType::WebPage));
    EXPECT_THAT(dialogs_.log, ElementsAre("properties 0 -", "properties 0 -",
                                          "properties 2 " + std::to_string(IndexOf("first"))));
    WaitIdle();
    EXPECT_EQ(StatusOf("copied"), DocumentStatus::Ready);
    EXPECT_EQ(StatusOf("first"), DocumentStatus::Checked);  // a copy leaves its source alone
}

TEST_F(CommandsTest, PropertiesWritesTheEditedRecordUnderItsNewName) {
    WriteDocument(DocumentType::LocalFile, "old", "/srv/nowhere/old.txt");
    Start();
    Select({"old"});
    size_t slot = IndexOf("old");
    commands_->Properties();  // cancelled: nothing changes
    EXPECT_TRUE(Exists("old.data"));
    dialogs_.staged.push_back(Staged(DocumentType::LocalFile, "renamed", "/srv/nowhere/new.txt"));
    commands_->Properties();
    EXPECT_THAT(dialogs_.log, ElementsAre("properties 1 " + std::to_string(slot),
                                          "properties 1 " + std::to_string(slot)));
    EXPECT_EQ(IndexOf("renamed"), slot);
    EXPECT_FALSE(Exists("old.data"));
    EXPECT_EQ(FieldText(OnDisk("renamed").location), "/srv/nowhere/new.txt");
    EXPECT_THAT(doc_->rows().Names(), ElementsAre("renamed"));
    WaitIdle();
}

TEST_F(CommandsTest, DeleteAsksThenRemovesTheRowsFromTheBottomUpWithTheirFiles) {
    for (const char* name : {"one", "two", "three", "four"}) {
        WriteDocument(DocumentType::WebPage, name, "http://example.org/");
        WriteBytes(data_ / (std::string(name) + ".content"), "copy");
        WriteBytes(data_ / (std::string(name) + ".middle"), "extract");
    }
    Start();
    Select({"one", "two", "four"});
    boxes_.SetNextAnswer(MessageAnswer::No);
    commands_->Delete();
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, kConfirmDelete);
    EXPECT_EQ(boxes_.shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(boxes_.shown[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(rows_->RowCount(), 4u);

    boxes_.SetNextAnswer(MessageAnswer::Yes);
    commands_->Delete();
    EXPECT_THAT(doc_->rows().Names(), ElementsAre("three"));
    for (const char* name : {"one", "two", "four"})
        for (const char* ending : {".data", ".content", ".middle"})
            EXPECT_FALSE(Exists(std::string(name) + ending)) << name << ending;
    EXPECT_TRUE(Exists("three.data"));
    EXPECT_TRUE(Exists("three.content"));
}

}  // namespace
}  // namespace wardlet::test
