// A user at the X server of a test, played with xdotool. Every call is bounded, so a window that
// never comes fails the test instead of hanging it.
#pragma once

#include <string>

#include <sys/types.h>

namespace crashreport::testing {

// An Xvfb of the test's own. It picks a free display itself (-displayfd) and names it once it
// takes clients, so two servers never race for one display; it is ended, and waited for, when
// this object goes, so the next test's server cannot meet its remains.
class TestXServer {
public:
    TestXServer() = default;
    TestXServer(const TestXServer &) = delete;
    TestXServer &operator=(const TestXServer &) = delete;
    ~TestXServer();

    // Starts the server and sets DISPLAY; false when it did not come up within 30 seconds.
    bool start();

private:
    pid_t m_pid = -1;
};

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
