#pragma once
// The show step of a report: the one place where the report sequence hands a finished report to
// whatever shows it to the user, and gets the user's choices back.
//
// The report sequence fills a TCrashShowRequest and calls the presenter that is installed. The
// presenter in the library writes the report to standard error and answers as a dialog closed
// with OK; the companion dialog program replaces it with the real dialogs. Plain C++ (no Qt), so
// that the request can be carried over a pipe as it stands.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace crashreport
{

struct TCrashShowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// One call-stack, modules or processes row as the dialog's lists show it (cells in column order).
struct TCrashShowRow {
    std::vector<std::string> cells;
    std::uint64_t threadId = 0; // call stack: the thread the row belongs to
    int kind = 0;               // call stack: module kind mark (program, shared library, ...)
};

struct TCrashShowRequest {
    // 1 message box, 2 classic dialog, 3 detailed dialog (the style in force after the filters).
    int dialogStyle = 3;
    bool beep = true;

    // Report parts, UTF-8.
    std::string exceptionClass;
    std::string exceptionMessage; // the filter's message when a filter gave one
    std::string moduleName;
    std::string reportText;    // the whole report
    std::string generalText;   // the general part (sections 1 to 7)
    std::string assemblerText; // empty: no assembler section
    std::string cpuText;       // empty: no CPU section
    std::vector<TCrashShowRow> callStack;
    std::vector<TCrashShowRow> modules;
    std::vector<TCrashShowRow> processes;

    // The options' dialog settings and texts, by the names the options use.
    std::uint32_t dialogFlags = 0x18F;
    int terminateAction = 0;
    int reportsBeforeTerminate = 3;
    int dialogCloseSeconds = 0;
    int firstTab = 0;
    std::uint8_t logSections = 0;
    bool keepLogFile = false;
    bool sendConfigured = false;      // a mail or web mode is set
    bool screenshotRequested = false; // SendFlags 0x10
    std::string supportLink;
    std::vector<std::string> texts; // the options' text table, by text id (index = id)

    // State of the process.
    int errorCount = 1;     // reports in this run, this one included
    bool duplicate = false; // the log already holds the same error

    // The program's windows, for the screenshot and to keep the dialog in front.
    std::vector<TCrashShowRect> topLevelWindows;
    TCrashShowRect foregroundWindow;
    std::uint64_t mainWindowId = 0; // native window id (X11) of the program's main window, 0: none
    bool hasFocusRect = false;
    TCrashShowRect focusRect;
    int cursorX = -1;
    int cursorY = -1;

    // Added for the dialog companion.
    int cursorShape = 0;                   // Qt::CursorShape of the cursor at the time of the error
    bool screenshotForegroundOnly = false; // SendFlags 0x20: only the foreground window
    std::string screenshotFile;            // where "Screenshot.png" goes when it is sent, empty: none
    std::string settingsFile;              // "CrashReport.ini" to use, empty: the per-user default
    std::string reproduceText;             // the steps to reproduce given at an earlier report of this run
};

struct TCrashShowResult {
    bool painted = false; // a window was shown to the user
    bool sendRequested = false;
    bool screenshotRequested = false;
    bool copyRequested = false;
    bool terminateRequested = false; // Terminate or Restart chosen (TerminateAction says which)
    std::string emailAddress;        // entered in the classic dialog
    std::string reproduceText;       // the steps to reproduce, from either dialog; empty unless given
    bool reproduceGiven = false;     // the user confirmed reproduceText (an empty one clears the earlier)
    std::string screenshotFile;      // "Screenshot.png" written by the presenter, empty: none
    std::vector<std::string> warnings; // warnings given while showing ("Cannot show the DialogBox window.")
};

// Called by the presenter while its dialog is open; run on the thread that handles the report.
struct TCrashShowCallbacks {
    std::function<void()> customButtonClicked;
    // Action events (0, 1, 8); returns the flag after the listeners (8: false cancels terminating).
    std::function<bool(int action, bool flag)> actionNotify;
};

class TCrashReportPresenter
{
public:
    virtual ~TCrashReportPresenter() = default;
    // Shows the report as the request says and returns the user's choices. Never throws.
    virtual TCrashShowResult show(const TCrashShowRequest &request, const TCrashShowCallbacks &callbacks) = 0;

    // The progress window while the report is sent (foreground: centred and kept in front,
    // else at the bottom-right corner), its label and bar, and its closing by the program.
    virtual void progressOpen(bool foreground) { (void)foreground; }
    virtual void progressUpdate(const std::string &label, int position, int maximum)
    {
        (void)label;
        (void)position;
        (void)maximum;
    }
    virtual void progressClose() { }
    // A message box of the send flow (the outcome, a warning while the progress window is open,
    // the tracker's "closed" notice). icon: 0 information, 1 error. The default writes
    // "caption: text" to standard error.
    virtual void messageBox(const std::string &caption, const std::string &text, int icon)
    {
        (void)icon;
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
        std::fflush(stderr);
    }
    // Puts the report text on the clipboard as plain text (Behaviour 0x10); true when done. The
    // clipboard must outlive the call (on X11 it lives as long as its owner): the presenter
    // keeps it until endReport(). The default cannot and returns false.
    virtual bool copyToClipboard(const std::string &text)
    {
        (void)text;
        return false;
    }
    // The report is over (sent or not): windows, clipboard and screenshot resources are released.
    virtual void endReport() { }
};

// The presenter in use (never null: the standard-error presenter until another is installed).
TCrashReportPresenter &CrashReportPresenter();
void CrashSetReportPresenter(TCrashReportPresenter *presenter); // null: back to the default

} // namespace crashreport
