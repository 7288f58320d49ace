#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "mailer/app/send_sequence.h"

namespace wardpost {

inline constexpr char kNoWindowArgument[] = "--no-window";

// "--no-window" among the arguments (after the program name): the run shows nothing and needs
// no display, for wardctl and a timer.
bool WantsNoWindow(const std::vector<std::string>& arguments);

// Exit statuses of a run without the window.
enum WindowlessExit : int {
    kSent = 0,
    kRefusedForGood = 69,  // the server refused the message; the entries stay queued
    kTryLater = 75,        // no connection, a passing refusal or another mailer sending
    kSettings = 78,        // the settings could not be read or cannot be sent with
};

int ExitStatusOf(SendOutcome outcome);

// The mailer's send of the queue (or of the test message with "/test") with no window: each log
// line goes to `log` as "Wardpost: <line>" (standard error, which systemd puts in the journal).
int RunWithoutWindow(const std::vector<std::string>& arguments, std::ostream& log);

}  // namespace wardpost
