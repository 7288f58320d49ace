#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace wardlet {

// What the programs ask of the desktop, as small interfaces: the window code implements them over
// Qt (common/desktop), tests replace them, and every rule around them stays in plain code.

// The caption of every message box of the monitor, and the main window's title.
inline constexpr char kMonitorTitle[] = "Wardlet - Calvorne";
// The caption of the mailer's windows.
inline constexpr char kMailerTitle[] = "Wardpost - Calvorne";

enum class MessageIcon { Information, Exclamation, Question, Stop };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// Fixed-text message boxes with the program's caption; modal, on the user-interface thread.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer Show(std::string_view text, MessageIcon icon,
                               MessageButtons buttons = MessageButtons::Ok) = 0;
};

// Hands a page or a file to the user's default program; the outcome is not examined.
class DocumentOpener {
public:
    virtual ~DocumentOpener() = default;
    virtual void OpenUrl(std::string_view url) = 0;
    virtual void OpenFile(const std::filesystem::path& file) = 0;
};

// Starts a program without waiting for it.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // False when the program could not be started.
    [[nodiscard]] virtual bool StartDetached(const std::filesystem::path& program,
                                             const std::vector<std::string>& arguments) = 0;
};

}  // namespace wardlet
