// A user at the X server of a test, played with xdotool. Every call is bounded, so a window that
// never comes fails the test instead of hanging it.
#pragma once

#include <string>

namespace crashreport::testing {

// Runs "xdotool <args>" on $DISPLAY; its exit code (124 when it ran out of time).
int Xdo(const std::string &args);

// What "xdotool <args>" printed.
std::string XdoOutput(const std::string &args);

// Waits until a window with exactly this title (an extended regular expression without anchors)
// is on screen; its id, or "" when none came within `seconds`.
std::string WaitForWindow(const std::string &title, int seconds = 60);

// Answers the window with this title: gives it the keyboard and types `keys`, and types them
// again while that window stays on screen, as a user does when a key press came before the
// window took input. True once the window has gone.
bool AnswerWindow(const std::string &title, const std::string &keys, int seconds = 120);

} // namespace crashreport::testing
