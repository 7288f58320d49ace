#include "monitor/app/command_table.h"

#include <array>

namespace wardlet {
namespace {

using enum CommandId;
using enum Enabling;

constexpr std::array kCommands = {
    CommandInfo{Add, "actionAdd", "&Add...\tCtrl+A", "Ctrl+A", "Add new document.", Always},
    CommandInfo{Copy, "actionCopy", "&Copy...\tCtrl+C", "Ctrl+C", "Copy selected document.",
                OneSelected},
    CommandInfo{Delete, "actionDelete", "Dele&te...\tDel", "Del", "Delete selected documents..",
                AnySelected},
    CommandInfo{SaveAs, "actionSaveAs", "&Save As...", "", "Save selected document as..",
                OneSelected},
    CommandInfo{Options, "actionOptions", "&Options...", "", "Change the application's options..",
                Always},
    CommandInfo{Exit, "actionExit", "E&xit", "", "Quit Wardlet.", Always},
    CommandInfo{MarkChecked, "actionMarkChecked", "&Mark as Checked", "",
                "Mark selected document as Checked status.", AnySelected},
    CommandInfo{MarkAllChecked, "actionMarkAllChecked", "Mark &All as Checked\tESC", "Esc",
                "Mark all document as Checked status.", Always},
    CommandInfo{SelectAll, "actionSelectAll", "&Select All\tCtrl+S", "Ctrl+S",
                "Select all documents.", Always},
    CommandInfo{DeselectAll, "actionDeselectAll", "&Deselect All\tCtrl+D", "Ctrl+D",
                "Deselect all documents.", Always},
    CommandInfo{Properties, "actionProperties", "&Properties...\tCtrl+E", "Ctrl+E",
                "Properties of selected document..", OneSelected},
    CommandInfo{Open, "actionOpen", "&Open\tDblClk", "", "Open selected document.", AnySelected},
    CommandInfo{ContentHeader, "actionContentHeader", "Content &Header...", "",
                "View document data header..", OneSelected},
    CommandInfo{ComparedData, "actionComparedData", "Compared &Data...", "",
                "View compared portion data..", OneSelected},
    CommandInfo{ShowChanges, "actionShowChanges", "Show &Changes...\tCtrl+H", "Ctrl+H",
                "Show what changed between the kept versions of the selected document..",
                OneStored},
    CommandInfo{Toolbar, "actionToolbar", "&Toolbar", "",
                "Show or hide the toolbar\nToggle ToolBar", Always},
    CommandInfo{StatusBar, "actionStatusBar", "&Status Bar", "",
                "Show or hide the status bar\nToggle StatusBar", Always},
    CommandInfo{CheckSelected, "actionCheckSelected", "Check &Selected\tF5", "F5",
                "Check changes of selected documents.", AnySelected},
    CommandInfo{CheckAll, "actionCheckAll", "Check &All\tCtrl+F5", "Ctrl+F5",
                "Check changes of all documents.", Always},
    CommandInfo{HomePage, "actionHomePage", "Wardlet &Home", "", "", Always},
    CommandInfo{Manual, "actionManual", "User's &Manual", "", "", Always},
    CommandInfo{Support, "actionSupport", "On-line &Support", "", "", Always},
    CommandInfo{About, "actionAbout", "&About Wardlet...\tF1", "F1", "", Always},
    CommandInfo{Activate, "actionActivate", "", "", "", Always},
    CommandInfo{TrayExit, "actionTrayExit", "", "", "", Always},
};

constexpr std::array kDocumentItems = {Add, Copy, Delete, kSeparator, SaveAs};
constexpr std::array kFileItems = {kDocumentSubmenu, Options, kSeparator, Exit};
constexpr std::array kEditItems = {MarkChecked, MarkAllChecked, kSeparator, SelectAll,
                                   DeselectAll, kSeparator,     Properties};
constexpr std::array kViewItems = {Open,        kSeparator, ContentHeader, ComparedData,
                                   ShowChanges, kSeparator, Toolbar,       StatusBar};
constexpr std::array kCheckItems = {CheckSelected, CheckAll};
constexpr std::array kHelpItems = {HomePage, Manual, Support, kSeparator, About};

constexpr std::array kMenuBar = {
    MenuLayout{"menuFile", "&File", kFileItems}, MenuLayout{"menuEdit", "&Edit", kEditItems},
    MenuLayout{"menuView", "&View", kViewItems}, MenuLayout{"menuCheck", "&Check", kCheckItems},
    MenuLayout{"menuHelp", "&Help", kHelpItems},
};
constexpr MenuLayout kDocumentMenu{"menuDocument", "&Document", kDocumentItems};

constexpr std::array kContextMenu = {
    ContextItem{MarkChecked, "Mark as Checked"},
    ContextItem{CheckSelected, "Check Selected"},
    ContextItem{kSeparator, ""},
    ContextItem{ContentHeader, "View Content Header..."},
    ContextItem{ComparedData, "View Compared Data..."},
    ContextItem{ShowChanges, "Show Changes..."},
    ContextItem{kSeparator, ""},
    ContextItem{Open, "Open"},
    ContextItem{Add, "Add..."},
    ContextItem{Copy, "Copy..."},
    ContextItem{Delete, "Delete..."},
    ContextItem{SaveAs, "Save As..."},
    ContextItem{kSeparator, ""},
    ContextItem{Properties, "Properties..."},
};

constexpr std::array kTrayMenu = {
    ContextItem{Activate, "Activate"}, ContextItem{CheckAll, "Check All !"},
    ContextItem{kSeparator, ""},       ContextItem{Options, "Options..."},
    ContextItem{kSeparator, ""},       ContextItem{TrayExit, "Exit"},
};

constexpr std::array kToolBar = {Options, kSeparator, Add, CheckSelected, Open};

}  // namespace

std::span<const CommandInfo> AllCommands() {
    return kCommands;
}

const CommandInfo& CommandOf(CommandId id) {
    for (const CommandInfo& command : kCommands)
        if (command.id == id) return command;
    // Every id is in the table (a test goes through all of them); an unknown one is a bug.
    __builtin_trap();
}

bool IsEnabledFor(CommandId id, size_t selectedRows, bool oneHasCopy) {
    switch (CommandOf(id).enabling) {
        case OneStored:
            return selectedRows == 1 && oneHasCopy;
        case AnySelected:
            return selectedRows >= 1;
        case OneSelected:
            return selectedRows == 1;
        case Always:
            return true;
    }
    return true;
}

std::span<const MenuLayout> MenuBarLayout() {
    return kMenuBar;
}

const MenuLayout& DocumentMenuLayout() {
    return kDocumentMenu;
}

std::span<const ContextItem> ContextMenuLayout() {
    return kContextMenu;
}

std::span<const ContextItem> TrayMenuLayout() {
    return kTrayMenu;
}

std::string PlainCaption(std::string_view menuText) {
    menuText = menuText.substr(0, menuText.find('\t'));
    std::string caption;
    for (size_t i = 0; i < menuText.size(); ++i) {
        if (menuText[i] == '&' && i + 1 < menuText.size()) ++i;  // "&&" stands for one '&'
        caption += menuText[i];
    }
    while (!caption.empty() && caption.back() == '.')
        caption.pop_back();
    return caption;
}

std::span<const CommandId> ToolBarLayout() {
    return kToolBar;
}

}  // namespace wardlet
