#pragma once
// The presenter that shows a report through the companion program "crashreport-dialog".
//
// One companion per report: started when the report first needs a window (show(), the progress
// window, a message box of the send flow, the clipboard), it grabs the screenshot before its
// first window, runs the dialogs and answers with the user's choices; it stays for the progress
// window, the send flow's boxes and the clipboard until endReport(). The conversation is framed
// messages over a socket pair; anything malformed, a companion that dies, or one that stays
// silent before its first window ends it cleanly: the report goes on as after a dialog closed
// with OK.
//
// With prepareAhead() a companion is started at once and waits, idle, for the next report (its
// start-up is then paid before the error, not between the error and the first paint); after each
// report a fresh one is prepared. The calls may come from different threads one after another
// (the reporting thread, a send thread); a lock keeps them apart.

#include "CrashShowStep.h"
#include "DialogChannel.h"

#include <sys/types.h>

#include <chrono>
#include <mutex>
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
    // A task-modal, top-most box of the companion; returns when the user has closed it. Without a
    // display (or a companion) the text goes to standard error as "caption: text".
    void messageBox(const std::string &caption, const std::string &text, int icon) override;
    // The companion takes the clipboard and keeps it until endReport(). False without a display.
    bool copyToClipboard(const std::string &text) override;
    void endReport() override;

    // Starts a companion that waits for the next report, and a fresh one after each report.
    // Does nothing where no window can be shown.
    void prepareAhead();
    bool preparedAhead() const { return m_prepareAhead; }

    // How long the companion may take before its first answer (tests shorten it).
    void setStartTimeoutMs(int ms) { m_startTimeoutMs = ms; }
    pid_t companionPid() const { return m_pid; }
    // Milliseconds from the call of show() to the first paint of its dialog (-1: none painted).
    double firstPaintMs() const { return m_firstPaintMs; }
    // Why the last conversation ended early (empty: it did not).
    const std::string &lastError() const { return m_lastError; }

private:
    bool start(bool standby = false);
    void stop(bool ask);
    bool running();
    // A companion for the report: the prepared one when it is still there, else a new one.
    bool acquire();
    // Waits for a message of `type`, passing over late answers of other kinds.
    bool waitFor(TDialogMessageType type, std::string &payload, int timeoutMs);
    // "Screenshot.png" in a folder of this report, made on first use and removed by endReport().
    std::string screenshotPath();
    void removeScreenshot();
    void warn(TCrashShowResult &result, const std::string &text);
    bool converse(const TCrashShowRequest &request, const TCrashShowCallbacks &callbacks, TCrashShowResult &result);

    std::string m_companion;
    std::recursive_mutex m_lock;
    bool m_prepareAhead = false;
    bool m_inReport = false; // the companion serves a report (endReport() ends it)
    std::string m_screenshotFolder;
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
