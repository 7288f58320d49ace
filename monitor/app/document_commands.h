#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/desktop_services.h"
#include "monitor/app/command_table.h"
#include "monitor/app/monitor_shell.h"
#include "monitor/app/shell_interfaces.h"
#include "monitor/app/wardlet_doc.h"
#include "monitor/model/document_editor.h"

namespace wardlet {

inline constexpr char kSelectOneToDuplicate[] = "Please select one document data to duplicate.";
inline constexpr char kSelectOneToEdit[] = "Please select one document data to edit.";
inline constexpr char kSelectToDelete[] = "Please select the document data to delete.";
inline constexpr char kConfirmDelete[] = "Are you sure you want to delete the selected data ?";
inline constexpr char kSelectToMark[] = "Please select the document data.";
inline constexpr char kSelectToCheck[] = "Please select the document data to check.";
inline constexpr char kSelectOneToOpen[] = "Please select one document data to open.";
inline constexpr char kNotRetrieved[] =
    "Selected document is not retrieved. Please press Check! button to retrieve.";
inline constexpr char kCannotOpenSelected[] = "Cannot open the selected document.";
inline constexpr char kListFull[] = "No more documents can be added: the document list is full.";
inline constexpr char kEditNotSaved[] =
    "The changes could not be written to the data folder, so they were not applied.\n"
    "Check that the disk has room and the folder can be written to.";
inline constexpr char kSavingCaption[] = "Saving the document...";
// Save As: a failed copy, naming the path (the target is left as it was).
std::string SaveAsFailedMessage(const std::filesystem::path& target);

// The three help pages: the maker's home and support pages (one build setting) and the user's
// manual installed with the program.
struct HelpPages {
    std::string home;
    std::string manual;
    std::string support;
};
// The installed manual: "manual/manual.html" beside the program, else the shared data folder of
// an installed copy ("<prefix>/share/wardlet/manual/manual.html").
std::filesystem::path ManualFile(const std::filesystem::path& installFolder);
HelpPages MakeHelpPages(const std::filesystem::path& installFolder);

// What the properties dialog's Apply stages: the record and the filters (nullopt: the
// document's filters stay as they are).
struct StagedDocument {
    DocumentRecord record{};
    std::optional<DocumentFilters> filters;
};

// The modal windows the commands open, behind an interface so that tests answer them.
class CommandDialogs {
public:
    virtual ~CommandDialogs() = default;
    // The document properties dialog; what it staged after Apply, nullopt after Cancel.
    virtual std::optional<StagedDocument> RunProperties(PropertiesMode mode, size_t slot) = 0;
    // The data view of a file; false, without a window, when the file cannot be opened.
    virtual bool RunDataView(const std::filesystem::path& file) = 0;
    virtual void RunCountView(size_t slot) = 0;
    // "Changes - NAME": the kept versions of the document and what changed between them.
    virtual void RunChanges(size_t slot) = 0;
    // "Save As...", starting in `folder`, asking before an existing file is replaced; the chosen
    // path, or nullopt when the user cancelled.
    virtual std::optional<std::filesystem::path> ChooseSaveAsPath(
        const std::filesystem::path& folder) = 0;
    virtual void RunAbout() = 0;
    // The options dialog over `options` (its "Properties.." edits the e-mail settings in force);
    // true after Apply, with `options` as applied.
    virtual bool RunOptions(MonitorOptions& options) = 0;
};

// Every command's handler, over the list's rows, the document object and the dialogs. The window
// connects its actions here and holds no rule of its own; all of it runs on the user-interface
// thread. Toolbar and Status Bar are the window's own (they only show or hide a bar).
class DocumentCommands : public CommandRunner {
public:
    struct Parts {
        CWardletDoc& doc;
        DocumentRows& rows;
        MonitorShell& shell;
        MessageBoxes& messages;
        DocumentOpener& opener;
        CommandDialogs& dialogs;
        HelpPages pages;
        BackgroundCopies& copies;
    };
    explicit DocumentCommands(Parts parts);

    bool IsEnabled(CommandId id);
    // The same with the selection counted by the caller (one count for every action).
    bool IsEnabled(CommandId id, size_t selectedRows);
    // Runs the command when it is enabled; a disabled one does nothing, from any place.
    void Run(CommandId id) override;
    const HelpPages& pages() const { return pages_; }

    void Add();
    void Copy();
    void Properties();
    void Delete();
    void SaveAs();
    void ContentHeader();
    void ComparedData();
    void ShowChanges();
    void Open();
    void MarkChecked();
    void MarkAllChecked();
    void SelectAll();
    void DeselectAll();
    void CheckSelected();
    void CheckAll();
    // Refused while its dialog is already open (the tray reaches it from inside a dialog): the
    // outer dialog would write back what it read before the inner one applied.
    void Options();
    bool optionsOpen() const { return optionsOpen_; }

    // Where the next "Save As..." starts: the folder of the last path chosen in this run, first
    // the user's home folder.
    const std::filesystem::path& saveAsFolder() const { return saveAsFolder_; }

private:
    // The records of the selected rows and of all rows, top to bottom; rows without a record
    // are left out.
    std::vector<size_t> SelectedRecords();
    std::vector<size_t> ListedRecords();
    // The record of the first selected row; nullopt when no row is selected or it has none.
    std::optional<size_t> FirstSelectedRecord();
    // Save As, Content Header and Compared Data: the record of the one selected row when its copy
    // was fetched; nullopt without one row, and with the "not retrieved" message for a record
    // still Retrieving, Waiting or Unavailable.
    std::optional<size_t> RetrievedSelection();
    void StoreNewDocument(const StagedDocument& staged);
    bool Live() const { return !shell_.shuttingDown(); }

    CWardletDoc& doc_;
    DocumentRows& rows_;
    MonitorShell& shell_;
    MessageBoxes& messages_;
    DocumentOpener& opener_;
    CommandDialogs& dialogs_;
    HelpPages pages_;
    BackgroundCopies& copies_;
    std::filesystem::path saveAsFolder_;
    bool optionsOpen_ = false;
};

}  // namespace wardlet
