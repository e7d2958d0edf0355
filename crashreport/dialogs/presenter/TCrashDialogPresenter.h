#pragma once
// The presenter that shows a report through the companion program "crashreport-dialog".
//
// One companion per report: started by show(), it grabs the screenshot before its first window,
// runs the dialogs and answers with the user's choices; it stays for the progress window and the
// clipboard until endReport(). The conversation is framed messages over a socket pair; anything
// malformed, a companion that dies, or one that stays silent before its first window ends it
// cleanly: the report goes on as after a dialog closed with OK.

#include "CrashShowStep.h"
#include "DialogChannel.h"

#include <sys/types.h>

#include <chrono>
#include <string>

namespace crashreport {

inline constexpr const char *ShowErrorWarning = "Cannot show the DialogBox window.";
inline constexpr int eeShowError = 1; // TCrashReportErrorCode

class TCrashDialogPresenter : public TCrashReportPresenter {
public:
    // `companion`: the program to start; empty: FindCrashDialogCompanion().
    explicit TCrashDialogPresenter(std::string companion = {});
    ~TCrashDialogPresenter() override;

    TCrashShowResult show(const TCrashShowRequest &request, const TCrashShowCallbacks &callbacks) override;
    void progressOpen(bool foreground) override;
    void progressUpdate(const std::string &label, int position, int maximum) override;
    void progressClose() override;
    void endReport() override;

    // How long the companion may take before its first answer (tests shorten it).
    void setStartTimeoutMs(int ms) { m_startTimeoutMs = ms; }
    pid_t companionPid() const { return m_pid; }
    // Milliseconds from the call of show() to the first paint of its dialog (-1: none painted).
    double firstPaintMs() const { return m_firstPaintMs; }
    // Why the last conversation ended early (empty: it did not).
    const std::string &lastError() const { return m_lastError; }

private:
    bool start();
    void stop(bool ask);
    void warn(TCrashShowResult &result, const std::string &text);
    bool converse(const TCrashShowRequest &request, const TCrashShowCallbacks &callbacks, TCrashShowResult &result);

    std::string m_companion;
    TDialogChannel m_channel;
    pid_t m_pid = -1;
    int m_startTimeoutMs = 15000;
    std::string m_lastError;
    double m_firstPaintMs = -1;
    std::chrono::steady_clock::time_point m_showStarted;
};

// True when the process can reach a display (X11 or Wayland) and does not run on Qt's offscreen
// or minimal platform.
bool CrashCanShowWindows();

// "crashreport-dialog" next to the executable, then in ../libexec/vetu/, then in the build tree;
// empty when none is there.
std::string FindCrashDialogCompanion();

} // namespace crashreport
