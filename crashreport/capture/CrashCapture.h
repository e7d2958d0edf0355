#pragma once
// The exception manager of the crash-report library: what a program (or another module built
// with the library) calls, and the listeners it can register.
//
// The library starts by itself before the program's own code ("CrashReport.Init") and catches
// what nobody else catches: at the thread start wrapper, in std::terminate, in the fault handler
// and, in a Qt program, in the application's notify (TCrashApplication). Nothing here throws.

#include "CrashDisassembler.h"
#include "CrashStackList.h"
#include "ReportSources.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace crashreport
{

class TCrashModuleOptionsEx;
struct TCrashShowRequest;

// Where an exception ended up; it chooses how the report is shown.
enum TCrashOutputKind : int {
    OutputDefault = 0, // the program's default (a thread start wrapper)
    OutputDialog = 1, // standard output without a display, the dialog otherwise
    OutputHtml = 2, // an HTML page
};

// What the events receive about the exception being reported.
struct TCrashEventRecord {
    std::exception_ptr error; // may be empty (an exception given as text, a frozen program)
    std::string className;
    std::string message;
    std::uint64_t address = 0;
    std::uint64_t threadId = 0;
    std::uint64_t moduleHandle = 0;
};

// A listener of TCrashReportList; every handler is optional. Listeners run on the faulting
// thread; an exception that leaves one is swallowed.
class TCrashReportListener
{
public:
    virtual ~TCrashReportListener() = default;
    virtual void exceptionNotify(const TCrashEventRecord &, bool & /*handled*/) { }
    virtual void handledExceptionNotify(const TCrashEventRecord &, bool & /*handled*/) { }
    // Actions: 0 before showing, 1 after showing, 2 saving begins, 3 saving ended, 4..7 sending,
    // 8 asked before terminating.
    virtual void exceptionActionNotify(const TCrashEventRecord &, int /*action*/, bool & /*flag*/) { }
    // Codes: 2 the log could not be saved, 5 and 7 sending failed. Setting retry tries again.
    virtual void exceptionErrorNotify(const TCrashEventRecord &, int /*code*/, bool & /*retry*/) { }
    virtual void customDataRequest(const TCrashEventRecord &, std::vector<std::string> & /*lines*/) { }
    virtual void customDataRequestEx(
        const TCrashEventRecord &, std::vector<std::pair<std::string, std::string>> & /*labelsAndValues*/)
    {
    }
    virtual void attachedFilesRequest(const TCrashEventRecord &, std::vector<std::string> & /*files*/) { }
    virtual void customWebFieldsRequest(
        const TCrashEventRecord &, std::vector<std::pair<std::string, std::string>> & /*fields*/)
    {
    }
    virtual void customButtonClick(const TCrashEventRecord &, bool & /*close*/) { }
    virtual void leakNotify(const TCrashEventRecord &, bool & /*handled*/) { }
};

// TCrashReportList: listeners run last registered first.
void CrashAddListener(TCrashReportListener *listener);
void CrashRemoveListener(TCrashReportListener *listener);

// The plain procedure variables, run after the listeners.
struct TCrashEventProcedures {
    void (*exceptionNotify)(const TCrashEventRecord &, bool &) = nullptr;
    void (*handledExceptionNotify)(const TCrashEventRecord &, bool &) = nullptr;
    void (*exceptionActionNotify)(const TCrashEventRecord &, int, bool &) = nullptr;
    void (*exceptionErrorNotify)(const TCrashEventRecord &, int, bool &) = nullptr;
    void (*customDataRequest)(const TCrashEventRecord &, std::vector<std::string> &) = nullptr;
    void (*customDataRequestEx)(const TCrashEventRecord &, std::vector<std::pair<std::string, std::string>> &)
        = nullptr;
    void (*attachedFilesRequest)(const TCrashEventRecord &, std::vector<std::string> &) = nullptr;
    void (*customWebFieldsRequest)(
        const TCrashEventRecord &, std::vector<std::pair<std::string, std::string>> &)
        = nullptr;
    void (*customButtonClick)(const TCrashEventRecord &, bool &) = nullptr;
    void (*leakNotify)(const TCrashEventRecord &, bool &) = nullptr;
};
TCrashEventProcedures &CrashEventProcedures();

// One report to make.
struct TCrashReportRequest {
    std::exception_ptr error;
    std::string className; // empty: taken from the error
    std::string message; // taken from the error when className is empty
    std::uint64_t address = 0;
    int outputKind = OutputDefault;
    std::uint64_t moduleHandle = 0;
    const TCrashStackList *stack = nullptr; // a ready-made call stack (CallCrashReport)
    TCrashCpuContext context; // registers at the exception, when known
    // A copy of the faulting thread's stack (the raise-time copy, or the main thread's stack
    // copied by the freeze watchdog); none: the stack of the calling thread is walked.
    const void *stackCopy = nullptr;
    std::size_t stackCopyBytes = 0;
    bool handledMark = false;
    bool frozen = false; // a freeze report, booked on the main thread
    std::uint64_t threadId = 0; // 0: the calling thread
    bool assemblerAndCpu = true; // false: the LogSections bit is cleared for this report
};

// Runs one report; true when the caller's own handling still runs.
bool ProcessException(TCrashReportRequest &request);

// Reports the exception being handled (call inside a catch block). The raise-time stack copy is
// used when it belongs to this exception. Returns the result of ProcessException.
bool CrashReportCurrentException(int outputKind);

// The report state kept between reports.
std::string CrashLastReportText();
std::string CrashLastExceptionMessage();
std::string CrashLastBugId();
// The last HTML page built for output kind 2 (empty: none yet).
std::string CrashLastHtmlPage();
int CrashReportCount();
int CrashStepCode();
std::vector<std::string> CrashRepeatList();

// Custom data and attached files lists of the process.
void CrashAddCustomData(const std::string &label, const std::string &value);
void CrashClearCustomData();
void CrashAddAttachedFile(const std::string &fileName);

// The options in force (the program's own, read at start). Changing them affects later reports.
TCrashModuleOptionsEx &CrashCurrentOptions();

// True between "CrashReport.Init" and "CrashReport.Done" when the options leave the library on.
bool CrashReportActive();
// Loads the module list and the symbol sources on a low-priority thread, once, so that the first
// report does not pay for first-use loading. Called after start (the Qt side does it); Init itself
// starts no thread.
void CrashStartWarmUp();
// Waits until the warm-up has ended, at most timeoutMs; true when it has (false also when it
// was never started).
bool CrashWaitWarmUp(int timeoutMs);
// How long "CrashReport.Init" took, in nanoseconds.
std::uint64_t CrashInitNanoseconds();

// The toolkit side (a Qt program installs one; the core needs no toolkit). Every function is
// called on the thread named in its comment.
class TCrashToolkit
{
public:
    virtual ~TCrashToolkit() = default;
    // Any thread.
    virtual bool isGuiThread() const = 0;
    virtual bool canShowWindows() const = 0; // a GUI application with a display
    // The GUI thread, while it waits for a report: runs pending events without user input.
    virtual void processEvents() = 0;
    // Any thread: the focus snapshot and the screen.
    virtual ActiveControlValues activeControls() const = 0;
    virtual std::optional<DisplayValues> display() const = 0;
    // The freeze watchdog's thread: whether a main window exists, and whether the GUI thread
    // answered a posted event within the time.
    virtual bool mainWindowExists() const = 0;
    virtual bool mainWindowAnswers(int milliseconds) = 0;
    // Any thread: the program's windows, the focused control's rectangle and the cursor as the
    // GUI thread last recorded them, into the request of the show step.
    virtual void windowsSnapshot(TCrashShowRequest &request) const { (void)request; }
};
void CrashSetToolkit(TCrashToolkit *toolkit); // null: none

// Starts and stops the freeze watchdog (started at Init when FreezeCheck is set).
void CrashStartFreezeCheck();
void CrashStopFreezeCheck();

} // namespace crashreport

// Exports with C linkage, for the program and other modules built with the library.
extern "C" {
// exceptionObject: a std::exception_ptr* (null: the exception being handled).
bool ExceptionManager(
    const void *exceptionObject, std::uint64_t address, int outputKind, std::uint64_t moduleHandle);
// Lines of "address|module|unit|class|procedure|line|offset"; other lines are dropped.
bool CallCrashReport(const char *className, const char *message, const char *callStack);

// A thread record given by code that registers its threads itself.
struct TCrashThreadRecordC {
    std::uint64_t threadId; // 0: the calling thread
    std::uint64_t stackBase; // top of the stack
    void *(*startRoutine)(void *);
    void *parameter;
    const char *className; // runtime thread class, may be null
};
void CrashReport_CallCreateThread(const TCrashThreadRecordC *record);
void CrashReport_CallResumeThread(std::uint64_t threadId, const TCrashThreadRecordC *record);
void CrashReport_CallExitThread(void);
// Records a raise of another module built with the library (object, its type_info, address).
void CrashReport_CallGeneralRaise(void *object, const void *typeInfo, std::uint64_t address);
// Records the context of a fault (siginfo_t*, ucontext_t*); flag: the fault will be thrown.
void CrashReport_CallExceptObject(const void *signalInfo, const void *ucontext, int flag);

bool CrashReport_ExceptionNotifyEvent(const crashreport::TCrashEventRecord *record, bool *handled);
bool CrashReport_HandledExceptionNotifyEvent(const crashreport::TCrashEventRecord *record, bool *handled);
bool CrashReport_ExceptionActionNotifyEvent(
    const crashreport::TCrashEventRecord *record, int action, bool *flag);
bool CrashReport_ExceptionErrorNotifyEvent(
    const crashreport::TCrashEventRecord *record, int code, bool *retry);
bool CrashReport_CustomDataRequestEvent(
    const crashreport::TCrashEventRecord *record, std::vector<std::string> *lines);
bool CrashReport_CustomDataRequestEventEx(
    const crashreport::TCrashEventRecord *record, std::vector<std::pair<std::string, std::string>> *data);
bool CrashReport_AttachedFilesRequestEvent(
    const crashreport::TCrashEventRecord *record, std::vector<std::string> *files);
bool CrashReport_CustomWebFieldsRequestEvent(
    const crashreport::TCrashEventRecord *record, std::vector<std::pair<std::string, std::string>> *fields);
bool CrashReport_CustomButtonClickEvent(const crashreport::TCrashEventRecord *record, bool *close);
bool CrashReport_LeakNotifyEvent(const crashreport::TCrashEventRecord *record, bool *handled);
}
