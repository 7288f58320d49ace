#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace wardlet {

// The monitor's commands by their fixed numbers.
enum class CommandId {
    Add = 32776,
    Properties = 32777,
    Copy = 32778,
    Exit = 32779,
    SelectAll = 32780,
    DeselectAll = 32781,
    Delete = 32782,
    CheckSelected = 32783,
    HomePage = 32784,
    Support = 32785,
    Manual = 32786,
    MarkChecked = 32789,
    Options = 32790,
    Open = 32791,
    MarkAllChecked = 32794,
    Activate = 32798,
    TrayExit = 32799,
    CheckAll = 32800,
    SaveAs = 32805,
    ContentHeader = 32806,
    ComparedData = 32807,
    ShowChanges = 32808,
    About = 57664,
    Toolbar = 59392,
    StatusBar = 59393,
};

// When a command may run, by the number of selected rows.
// OneStored: one row selected, and its document has a stored copy.
enum class Enabling { Always, AnySelected, OneSelected, OneStored };

struct CommandInfo {
    CommandId id;
    std::string_view objectName;  // of its Qt action
    // The menu caption: "&" before the access key, the shortcut shown after a tab. Empty for the
    // commands only the tray menu has.
    std::string_view menuText;
    std::string_view shortcut;  // the key, as Qt writes a key sequence; empty for none
    // The status-bar prompt; after "\n" the tool tip. The help pages show their address instead.
    std::string_view prompt;
    Enabling enabling;
};

std::span<const CommandInfo> AllCommands();
// The entry of `id`; every CommandId has one.
const CommandInfo& CommandOf(CommandId id);
// `oneHasCopy`: the one selected document has a stored copy (asked only of OneStored commands).
bool IsEnabledFor(CommandId id, size_t selectedRows, bool oneHasCopy = false);
// A menu text as a button's tip: without its key (after the tab), its mnemonic marks and a
// trailing ellipsis ("&Add...\tCtrl+A" is "Add").
std::string PlainCaption(std::string_view menuText);

// A menu of the window: its caption and its items in order; kSeparator between groups, and
// kDocumentSubmenu where File's "&Document" submenu goes.
inline constexpr CommandId kSeparator = static_cast<CommandId>(0);
inline constexpr CommandId kDocumentSubmenu = static_cast<CommandId>(1);
struct MenuLayout {
    std::string_view objectName;
    std::string_view caption;
    std::span<const CommandId> items;
};
std::span<const MenuLayout> MenuBarLayout();
// File's "&Document" submenu.
const MenuLayout& DocumentMenuLayout();

// The list's context menu: each command with the caption it has there.
struct ContextItem {
    CommandId id;  // kSeparator for a separator
    std::string_view text;
};
std::span<const ContextItem> ContextMenuLayout();
std::span<const ContextItem> TrayMenuLayout();
std::span<const CommandId> ToolBarLayout();

}  // namespace wardlet
