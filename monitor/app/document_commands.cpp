#include "monitor/app/document_commands.h"

#include <system_error>

#include "common/atomic_file.h"
#include "common/folders.h"
#include "common/little_endian.h"

#ifndef WARDLET_WEB_SITE
#error "WARDLET_WEB_SITE is set by the build"
#endif

namespace wardlet {
namespace {

bool IsRetrieved(int32_t status) {
    auto s = static_cast<DocumentStatus>(status);
    return s != DocumentStatus::Retrieving && s != DocumentStatus::Unavailable &&
           s != DocumentStatus::Waiting;
}

}  // namespace

std::string SaveAsFailedMessage(const std::filesystem::path& target) {
    return "The document could not be saved as \"" + target.string() +
           "\".\nCheck that the folder can be written to and that the disk has room.";
}

std::filesystem::path ManualFile(const std::filesystem::path& installFolder) {
    std::filesystem::path beside = installFolder / "manual" / "manual.html";
    std::filesystem::path shared = SharedFilesFolder(installFolder) / "manual" / "manual.html";
    std::error_code error;
    if (!std::filesystem::exists(beside, error) && std::filesystem::exists(shared, error))
        return shared;
    return beside;
}

HelpPages MakeHelpPages(const std::filesystem::path& installFolder) {
    std::string site = WARDLET_WEB_SITE;
    return {site + "/", "file://" + ManualFile(installFolder).string(), site + "/support/"};
}

DocumentCommands::DocumentCommands(Parts parts)
    : doc_(parts.doc),
      rows_(parts.rows),
      shell_(parts.shell),
      messages_(parts.messages),
      opener_(parts.opener),
      dialogs_(parts.dialogs),
      pages_(std::move(parts.pages)),
      copies_(parts.copies),
      saveAsFolder_(HomeFolder()) {
    if (saveAsFolder_.empty()) saveAsFolder_ = "/";  // no home known: the root, never the cwd
}

bool DocumentCommands::IsEnabled(CommandId id) {
    return IsEnabled(id, rows_.SelectedCount());
}

bool DocumentCommands::IsEnabled(CommandId id, size_t selectedRows) {
    bool oneHasCopy = false;
    if (CommandOf(id).enabling == Enabling::OneStored && selectedRows == 1) {
        auto index = FirstSelectedRecord();
        oneHasCopy = index && doc_.HasStoredCopy(*index);
    }
    return IsEnabledFor(id, selectedRows, oneHasCopy);
}

void DocumentCommands::Run(CommandId id) {
    if (!IsEnabled(id)) return;
    switch (id) {
        case CommandId::Add:
            return Add();
        case CommandId::Copy:
            return Copy();
        case CommandId::Properties:
            return Properties();
        case CommandId::Delete:
            return Delete();
        case CommandId::SaveAs:
            return SaveAs();
        case CommandId::ContentHeader:
            return ContentHeader();
        case CommandId::ComparedData:
            return ComparedData();
        case CommandId::ShowChanges:
            return ShowChanges();
        case CommandId::Open:
            return Open();
        case CommandId::MarkChecked:
            return MarkChecked();
        case CommandId::MarkAllChecked:
            return MarkAllChecked();
        case CommandId::SelectAll:
            return SelectAll();
        case CommandId::DeselectAll:
            return DeselectAll();
        case CommandId::CheckSelected:
            return CheckSelected();
        case CommandId::CheckAll:
            return CheckAll();
        case CommandId::Options:
            return Options();
        case CommandId::Exit:
        case CommandId::TrayExit:
            return shell_.Shutdown();
        case CommandId::Activate:
            return shell_.Activate();
        case CommandId::HomePage:
            return opener_.OpenUrl(pages_.home);
        case CommandId::Manual:
            return opener_.OpenUrl(pages_.manual);
        case CommandId::Support:
            return opener_.OpenUrl(pages_.support);
        case CommandId::About:
            return dialogs_.RunAbout();
        case CommandId::Toolbar:
        case CommandId::StatusBar:
            return;  // the window shows or hides its bar itself
    }
}

std::vector<size_t> DocumentCommands::SelectedRecords() {
    std::vector<size_t> records;
    size_t count = rows_.RowCount();
    for (size_t row = 0; row < count; ++row)
        if (rows_.IsRowSelected(row))
            if (auto index = rows_.FindRecordOfRow(row)) records.push_back(*index);
    return records;
}

std::vector<size_t> DocumentCommands::ListedRecords() {
    std::vector<size_t> records;
    size_t count = rows_.RowCount();
    for (size_t row = 0; row < count; ++row)
        if (auto index = rows_.FindRecordOfRow(row)) records.push_back(*index);
    return records;
}

std::optional<size_t> DocumentCommands::FirstSelectedRecord() {
    size_t count = rows_.RowCount();
    for (size_t row = 0; row < count; ++row)
        if (rows_.IsRowSelected(row)) return rows_.FindRecordOfRow(row);
    return std::nullopt;
}

std::optional<size_t> DocumentCommands::RetrievedSelection() {
    if (rows_.SelectedCount() != 1) return std::nullopt;
    auto index = FirstSelectedRecord();
    if (!index || IsRetrieved(doc_.Record(*index).status)) return index;
    messages_.Show(kNotRetrieved, MessageIcon::Information);
    return std::nullopt;
}

void DocumentCommands::StoreNewDocument(const StagedDocument& staged) {
    // The dialog was modal; the program may have begun to end meanwhile.
    if (!Live()) return;
    if (doc_.AddDocument(staged.record, staged.filters ? &*staged.filters : nullptr) ==
        DocumentTable::kNoSlot)
        messages_.Show(kListFull, MessageIcon::Stop);
}

void DocumentCommands::Add() {
    if (auto staged = dialogs_.RunProperties(PropertiesMode::Add, DocumentTable::kNoSlot))
        StoreNewDocument(*staged);
}

void DocumentCommands::Copy() {
    if (rows_.SelectedCount() != 1) {
        messages_.Show(kSelectOneToDuplicate, MessageIcon::Information);
        return;
    }
    auto index = FirstSelectedRecord();
    if (!index) return;
    if (auto staged = dialogs_.RunProperties(PropertiesMode::Copy, *index))
        StoreNewDocument(*staged);
}

void DocumentCommands::Properties() {
    if (rows_.SelectedCount() != 1) {
        messages_.Show(kSelectOneToEdit, MessageIcon::Information);
        return;
    }
    auto index = FirstSelectedRecord();
    if (!index) return;
    auto staged = dialogs_.RunProperties(PropertiesMode::Edit, *index);
    if (!staged || !Live() || doc_.documents().IsFree(*index)) return;
    const DocumentFilters* filters = staged->filters ? &*staged->filters : nullptr;
    if (doc_.EditDocument(*index, staged->record, filters) == EditOutcome::NotSaved)
        messages_.Show(kEditNotSaved, MessageIcon::Stop);
}

void DocumentCommands::Delete() {
    if (rows_.SelectedCount() == 0) {
        messages_.Show(kSelectToDelete, MessageIcon::Information);
        return;
    }
    if (messages_.Show(kConfirmDelete, MessageIcon::Question, MessageButtons::YesNo) !=
        MessageAnswer::Yes)
        return;
    // Names in row order; the store removes them from the last row to the first. Rows without a
    // record stay where they are.
    std::vector<std::string> names;
    for (size_t index : SelectedRecords())
        names.push_back(doc_.documents().Name(index));
    doc_.DeleteDocuments(names);
}

void DocumentCommands::SaveAs() {
    auto index = RetrievedSelection();
    if (!index) return;
    auto target = dialogs_.ChooseSaveAsPath(saveAsFolder_);
    if (!target) return;
    saveAsFolder_ = target->parent_path();
    // The record may have been deleted while the dialog was open.
    if (doc_.documents().IsFree(*index)) return;
    size_t slot = *index;
    // Off this thread, with a progress dialog when it lasts: a large document takes seconds to
    // copy and flush. A cancelled copy leaves the target as it was, and says nothing.
    CopyOutcome outcome = copies_.Run(kSavingCaption, [&](const CopyProgress& progress) {
        // A copy just fetched is on its way in: its writes are done first.
        return ReplaceFileWithCopyOf(*target, doc_.StoredCopyOf(slot), 0644, progress);
    });
    if (outcome == CopyOutcome::Failed)
        messages_.Show(SaveAsFailedMessage(*target), MessageIcon::Stop);
}

void DocumentCommands::ContentHeader() {
    auto index = RetrievedSelection();
    if (!index) return;
    if (!dialogs_.RunDataView(doc_.StoredCopyOf(*index)))
        messages_.Show(kCannotOpenSelected, MessageIcon::Stop);
}

void DocumentCommands::ShowChanges() {
    auto index = RetrievedSelection();
    if (!index) return;
    // A copy just fetched is on its way in: the view reads the newest.
    doc_.FinishPendingWritesOf(*index);
    if (!doc_.HasStoredCopy(*index)) {
        messages_.Show(kNotRetrieved, MessageIcon::Information);
        return;
    }
    dialogs_.RunChanges(*index);
}

void DocumentCommands::ComparedData() {
    auto index = RetrievedSelection();
    if (!index) return;
    DocumentRecord record = doc_.Record(*index);
    if (FlagOn(record.useCount)) return dialogs_.RunCountView(*index);
    if (!FlagOn(record.useMiddle)) return ContentHeader();
    if (!dialogs_.RunDataView(doc_.MiddleExtractOf(*index)))
        messages_.Show(kCannotOpenSelected, MessageIcon::Stop);
}

void DocumentCommands::Open() {
    size_t selected = rows_.SelectedCount();
    if (selected < 1) {
        messages_.Show(kSelectOneToOpen, MessageIcon::Information);
        return;
    }
    for (size_t index : SelectedRecords())
        shell_.OpenRecord(index, selected == 1);
}

void DocumentCommands::MarkChecked() {
    if (rows_.SelectedCount() == 0) {
        messages_.Show(kSelectToMark, MessageIcon::Information);
        return;
    }
    doc_.MarkChecked(SelectedRecords());
}

void DocumentCommands::MarkAllChecked() {
    doc_.MarkChecked(ListedRecords());
}

void DocumentCommands::SelectAll() {
    rows_.SetAllRowsSelected(true);
}

void DocumentCommands::DeselectAll() {
    rows_.SetAllRowsSelected(false);
}

void DocumentCommands::CheckSelected() {
    if (rows_.SelectedCount() == 0) {
        messages_.Show(kSelectToCheck, MessageIcon::Information);
        return;
    }
    if (!Live()) return;
    doc_.CheckSelected(SelectedRecords());
}

void DocumentCommands::Options() {
    if (optionsOpen_) return;
    optionsOpen_ = true;
    MonitorOptions options = doc_.options();
    bool applied = dialogs_.RunOptions(options);
    optionsOpen_ = false;
    if (applied) shell_.OptionsApplied(options);
}

void DocumentCommands::CheckAll() {
    if (Live()) doc_.CheckAll();
}

}  // namespace wardlet
