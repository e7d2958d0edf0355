// HandleReport: the body of one report, on the worker thread, in this order (the step code is
// set before each step): snapshot of the threads, options of the raising module, filters, the
// call stacks, the BugID, modules and processes, the report text and its environment
// variables, the events, the repeat list, custom data, the count, the show step, the log file,
// the send step, then terminate or restart, and the result.
//
// Other threads are stopped only while their registers and stacks are copied; they are released
// before anything here allocates much, writes a file or starts a process (a stopped thread may
// hold the allocator's or the loader's lock). Names are resolved from the copies afterwards.

#include "CrashBugId.h"
#include "CrashDialogAnswers.h"
#include "CrashExceptions.h"
#include "CrashInternal.h"
#include "CrashSendStep.h"
#include "CrashShowStep.h"
#include "CrashThreadRegistry.h"
#include "CrashThreadStop.h"
#include "CrashUnwind.h"

#include "CrashModulesList.h"
#include "CrashProcessesList.h"
#include "LogFileName.h"
#include "LogSaving.h"
#include "OptionsReportTexts.h"
#include "ReportClock.h"
#include "SystemInfoLinux.h"
#include "TCrashReportBuilder.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace crashreport
{

namespace
{
    struct FilterOutcome {
        int dialogStyle = 0;
        int handlerKind = 2;
        int filterAction = 0;
        std::string message; // empty: the exception's own
    };

    bool classMatches(const std::string &filterClass, const std::string &className)
    {
        if (filterClass == className)
            return true;
        // A filter may name a class without its namespace.
        const std::size_t colon = className.rfind("::");
        return colon != std::string::npos
            && className.compare(colon + 2, std::string::npos, filterClass) == 0;
    }

    FilterOutcome applyFilters(const TCrashModuleOptions &options, const std::string &className)
    {
        FilterOutcome outcome;
        outcome.dialogStyle = options.dialogStyle();
        if (!options.handleActive())
            return outcome;
        for (const TCrashExceptionFilter &filter : options.filters().items()) {
            if (!filter.active || !classMatches(filter.className, className))
                continue;
            switch (filter.dialogOverride) {
            case 0:
                outcome.dialogStyle = 0;
                break;
            case 1:
                outcome.dialogStyle = options.dialogStyle();
                break;
            default:
                outcome.dialogStyle = filter.dialogOverride - 1;
                break;
            }
            outcome.handlerKind = filter.handlerKind;
            outcome.filterAction = filter.filterAction;
            if (!filter.message.empty())
                outcome.message = expandEnvironmentVariables(filter.message);
            break;
        }
        return outcome;
    }

    class SnapshotThreads final : public ThreadInfoSource
    {
    public:
        explicit SnapshotThreads(const std::vector<TCrashThreadRecord> &records)
            : m_records(records)
        {
        }
        std::optional<ThreadValues> thread(std::uint64_t threadId) const override
        {
            for (const auto &r : m_records) {
                if (r.threadId != threadId)
                    continue;
                ThreadValues v;
                if (r.priority != UnknownThreadPriority) {
                    v.priority = std::to_string(static_cast<std::int32_t>(r.priority));
                } else {
                    errno = 0;
                    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(threadId));
                    v.priority = errno == 0 ? std::to_string(nice) : "??";
                }
                v.className = r.className;
                v.isMain = r.isMain || threadId == CrashMainThreadId();
                return v;
            }
            return std::nullopt;
        }

    private:
        const std::vector<TCrashThreadRecord> &m_records;
    };

    class ToolkitDisplay final : public DisplayInfoSource
    {
    public:
        std::optional<DisplayValues> display() const override
        {
            TCrashToolkit *toolkit = CrashGlobals().toolkit.load();
            return toolkit ? toolkit->display() : std::nullopt;
        }
    };

    class FixedControls final : public ActiveControlsSource
    {
    public:
        explicit FixedControls(ActiveControlValues values)
            : m_values(std::move(values))
        {
        }
        ActiveControlValues activeControls() const override { return m_values; }

    private:
        ActiveControlValues m_values;
    };

    void copyStack(const TCrashStackList &from, TCrashStackList &to)
    {
        for (const auto &entry : from)
            to.add(*entry);
    }

    bool threadSelected(const TCrashThreadRecord &r, std::uint8_t stackFlags)
    {
        const bool libraryThread = r.isMain || !r.className.empty();
        return libraryThread ? (stackFlags & 0x04) != 0 : (stackFlags & 0x08) != 0;
    }

    // The one row of a thread that blocks the stop signal or did not answer in time: its group
    // says so instead of showing nothing. Of the kind that is always printed.
    TCrashStackEntry notStoppedEntry(std::uint64_t threadId)
    {
        TCrashStackEntry entry;
        entry.kind = StackKindLine;
        entry.threadId = threadId;
        entry.groupKind = 1;
        entry.procedureName = "not stopped";
        return entry;
    }

    // Copies every selected thread (stopped one at a time), then walks the copies.
    void walkOtherThreads(TCrashStackList &list, const std::vector<TCrashThreadRecord> &threads,
        std::uint64_t faultingThread, std::uint8_t stackFlags)
    {
        const std::uint64_t self = CrashCurrentThreadId();
        std::vector<const TCrashThreadRecord *> selected;
        for (const auto &r : threads)
            if (r.threadId != faultingThread && r.threadId != self && !r.internal
                && threadSelected(r, stackFlags))
                selected.push_back(&r);
        // Buffers first: nothing is allocated while a thread is stopped.
        std::vector<TCrashThreadCopy> copies(selected.size());
        for (auto &c : copies)
            c.stack.resize(StackCopyValues);
        for (std::size_t i = 0; i < selected.size(); ++i)
            CrashCopyThread(selected[i]->threadId, copies[i]);
        for (std::size_t i = 0; i < selected.size(); ++i) {
            const TCrashThreadRecord &r = *selected[i];
            const TCrashThreadCopy &c = copies[i];
            TCrashWalkParams params;
            params.threadId = r.threadId;
            if (c.stopped && c.context.rip != 0 && c.context.rsp != 0) {
                TCrashStackEntry first;
                CrashResolveAddress(c.context.rip, r.threadId, first, false, 1);
                if (first.kind != StackKindHidden)
                    list.add(std::move(first));
                CrashWalkStackCopy(list, 0, c.stack.data(), c.stackBytes, params);
            } else if (!c.stopped && !c.gone) {
                list.add(notStoppedEntry(r.threadId));
            }
            if (r.creatorStack && !r.creatorStack->empty()) {
                params.groupKind = 0;
                CrashWalkStackCopy(list, 0, r.creatorStack->data(), r.creatorStack->size() * 8, params);
            }
        }
    }

    std::string htmlEscape(const std::string &text)
    {
        std::string out;
        for (const char ch : text) {
            switch (ch) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += ch;
            }
        }
        return out;
    }

    std::string htmlPage(const std::string &layout, const std::string &report)
    {
        const std::string inner = "<PRE>" + htmlEscape(report)
            + "</PRE>\r\n<FORM><INPUT TYPE=\"button\" VALUE=\"Ok\" onClick=\"history.back()\"></FORM>\r\n";
        std::string page = layout;
        std::size_t at = page.find("</BODY>");
        if (at == std::string::npos)
            at = page.find("</body>");
        if (at == std::string::npos)
            return page + inner;
        return page.insert(at, inner);
    }

    std::string moduleItem(const ApplicationValues &app)
    {
        return app.description.empty() ? app.moduleName : app.moduleName + " - (" + app.description + ")";
    }

    void setEnvironment(const ApplicationValues &app, const TCrashModulePtr &exceptModule,
        const std::string &message, const std::string &report)
    {
        setenv("_MainModuleName", app.moduleName.c_str(), 1);
        setenv("_MainModuleDesc", app.description.c_str(), 1);
        setenv("_MainModuleVer", app.version.c_str(), 1);
        setenv("_ExceptModuleName", exceptModule ? exceptModule->baseName().c_str() : "", 1);
        setenv("_ExceptModuleDesc", exceptModule ? exceptModule->description.c_str() : "", 1);
        setenv("_ExceptModuleVer", exceptModule ? exceptModule->version.c_str() : "", 1);
        setenv("_ExceptMsg", message.c_str(), 1);
        setenv("_BugReport", report.c_str(), 1);
        setenv("_LineBreak", "\r\n", 1);
    }

    std::string repeatLine(std::time_t now)
    {
        std::tm local {};
        localtime_r(&now, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
        return text;
    }

    TCrashShowRequest showRequest(const TCrashModuleOptions &options, const CrashReportText &text,
        const TCrashEventRecord &record, const std::string &moduleName, int dialogStyle, int count)
    {
        TCrashShowRequest r;
        r.dialogStyle = dialogStyle;
        r.exceptionClass = record.className;
        r.exceptionMessage = record.message;
        r.moduleName = moduleName;
        r.reportText = text.report;
        r.generalText = text.general;
        if (options.logSections() & LogSectionAssemblerCpu) {
            r.assemblerText = text.assembler;
            r.cpuText = text.cpu;
        }
        r.dialogFlags = options.dialogFlags();
        r.terminateAction = options.terminateAction();
        r.reportsBeforeTerminate = options.reportsBeforeTerminate();
        r.dialogCloseSeconds = static_cast<int>(options.dialogCloseSeconds());
        r.firstTab = options.firstTab();
        r.logSections = options.logSections();
        r.keepLogFile = options.keepLogFile() != 0;
        r.sendConfigured = options.mailMode() != 0 || options.webMode() != 0;
        r.screenshotRequested = (options.sendFlags() & 0x10) != 0;
        r.screenshotForegroundOnly = (options.sendFlags() & 0x20) != 0;
        r.supportLink = options.supportAddress();
        for (std::size_t id = 0; id < 158; ++id)
            r.texts.push_back(options.text(id));
        r.errorCount = count;
        return r;
    }
} // namespace

bool CrashHandleReport(TCrashReportRequest &request, const ActiveControlValues &controls)
{
    TCrashGlobals &g = CrashGlobals();
    const char *section = "HandleReport";
    auto step = [&](int code, const char *name) {
        g.stepCode = code;
        section = name;
    };
    bool result = false;
    int filterAction = 0;
    bool sendDetached = false; // a send thread took the rest of the report over
    try {
        // 1. Time, the registry's snapshot, changed modules.
        step(101, "Snapshot");
        CrashWarmUpGiveWay();
        const std::time_t now = std::time(nullptr);
        const std::vector<TCrashThreadRecord> threads = CrashThreads().snapshot();
        TCrashModulesList &modules = TCrashModulesList::instance();
        modules.dropChanged();

        // 2. The options of the raising module.
        step(102, "Options");
        TCrashModulePtr exceptModule = request.address ? modules.findByAddress(request.address) : nullptr;
        if (!exceptModule && request.moduleHandle)
            exceptModule = modules.findByHandle(request.moduleHandle);
        TCrashModuleOptions options(*g.options);
        if (exceptModule && exceptModule->options && !(g.options->behaviour() & 0x08)
            && !exceptModule->isMainProgram)
            options = *exceptModule->options;
        if (!request.assemblerAndCpu)
            options.setLogSections(options.logSections() & ~LogSectionAssemblerCpu);

        // 3. The filters.
        step(103, "Filters");
        const FilterOutcome filter = applyFilters(options, request.className);
        filterAction = filter.filterAction;
        if (filter.handlerKind != 2) {
            step(14, "Resume");
            result = filter.handlerKind == 1;
        } else {
            // 4. The faulting thread's call stack and the BugID.
            step(104, "CallStack");
            TCrashStackList stack;
            TCrashWalkParams params;
            params.threadId = request.threadId;
            if (request.stack)
                copyStack(*request.stack, stack);
            else
                CrashWalkStackCopy(stack, request.address, request.stackCopy, request.stackCopyBytes, params);
            ApplicationValues app = currentApplicationValues(g.programVersion);
            if (app.description.empty() && exceptModule && exceptModule->isMainProgram)
                app.description = exceptModule->description;
            const std::string exceptModuleName = exceptModule ? exceptModule->baseName() : std::string();
            // The BugID takes only the frames the stack really holds: stale return addresses
            // that the scan also finds differ between runs of the same fault.
            TCrashStackList sure;
            const TCrashStackList *bugStack = &stack;
            if (!request.stack && request.context.valid && request.stackCopy
                && CrashWalkSureFrames(
                       sure, request.address, request.context, request.stackCopy, request.stackCopyBytes, params)
                    > 0)
                bugStack = &sure;
            const std::string bugId = CrashBugId(moduleItem(app), exceptModuleName, request.className, *bugStack);

            // 5. The creator's copy of the faulting thread, then the other threads.
            step(2, "Threads");
            for (const auto &r : threads) {
                if (r.threadId == request.threadId && r.creatorStack && !r.creatorStack->empty()) {
                    TCrashWalkParams creator = params;
                    creator.groupKind = 0;
                    CrashWalkStackCopy(stack, 0, r.creatorStack->data(), r.creatorStack->size() * 8, creator);
                }
            }
            walkOtherThreads(stack, threads, request.threadId, options.stackFlags());
            CrashThreads().markReported(request.threadId);

            // 6. Modules and processes.
            step(201, "Modules");
            ReportInput input;
            if (options.logSections() & LogSectionModulesProcesses) {
                modules.refresh();
                input.modules = modules.snapshot();
                TCrashProcessesList processes;
                processes.refresh();
                input.processes = processes.items();
            }

            // 7. The report text and the environment variables.
            step(3, "Report");
            TCrashToolkit *toolkit = g.toolkit.load();
            const bool console = !toolkit || !toolkit->canShowWindows();
            input.application = app;
            input.exception.time = now;
            input.exception.address = request.address;
            input.exception.moduleName = exceptModuleName;
            input.exception.moduleVersion = exceptModule ? exceptModule->version : std::string();
            input.exception.typeName = request.className;
            input.exception.message = request.message;
            input.exception.bugId = bugId;
            LinuxSystemInfo system;
            ToolkitDisplay display;
            FixedControls controlSource(controls);
            fillSystemValues(input, &system, &display, &controlSource);
            {
                std::lock_guard lock(g.stateLock);
                if (!g.userEmail.empty())
                    input.user.email = g.userEmail; // given in a dialog of an earlier report
            }
            input.stack = &stack;
            if ((options.logSections() & LogSectionAssemblerCpu) && request.context.valid)
                fillCpuValues(input, request.context);
            OptionsReportTexts texts(options);
            SystemReportClock clock;
            SnapshotThreads threadInfo(threads);
            TCrashReportBuilder builder(texts, clock, &threadInfo);
            const ReportOptions reportOptions = reportOptionsFrom(options, toolkit == nullptr);
            CrashReportText text = builder.build(input, reportOptions);
            setEnvironment(app, exceptModule, request.message, text.report);

            // 8. The event; a listener that clears the handled flag ends the report here.
            step(4, "Events");
            TCrashEventRecord record;
            record.error = request.error;
            record.className = request.className;
            record.message = request.message;
            record.address = request.address;
            record.threadId = request.threadId;
            record.moduleHandle = exceptModule ? exceptModule->handle : request.moduleHandle;
            bool handled = true;
            CrashFireExceptionNotify(record, request.handledMark, handled);
            if (!handled) {
                result = true;
            } else {
                // 9. The repeat list.
                step(5, "RepeatList");
                if (options.repeatAction() != 0) {
                    std::lock_guard lock(g.stateLock);
                    g.repeatList.push_back(repeatLine(now));
                    while (g.repeatList.size() > options.repeatLimit() && !g.repeatList.empty())
                        g.repeatList.erase(g.repeatList.begin());
                }

                // 10. Custom data.
                step(6, "CustomData");
                std::vector<std::pair<std::string, std::string>> custom;
                {
                    std::lock_guard lock(g.stateLock);
                    custom = g.customData;
                }
                CrashFireCustomData(record, custom);
                if (!custom.empty() && (options.reportFields() & (std::uint64_t(1) << 47))) {
                    input.customData = custom;
                    text = builder.build(input, reportOptions);
                }

                // 11. The count and the message.
                step(7, "Count");
                const int count = ++g.reportCount;
                {
                    std::lock_guard lock(g.stateLock);
                    g.lastReport = text.report;
                    g.lastMessage = request.message;
                    g.lastBugId = bugId;
                }

                // 12. Show.
                TCrashShowResult shown;
                if (filter.dialogStyle != 0) {
                    step(702, "Show");
                    bool flag = true;
                    CrashFireAction(record, 0, flag);
                    if (request.outputKind == OutputHtml) {
                        std::lock_guard lock(g.stateLock);
                        g.lastHtmlPage = htmlPage(options.htmlLayout(), text.report);
                    } else if (console) {
                        section = "Console";
                        std::string out = text.introduction + text.report + "\r\n";
                        std::fwrite(out.data(), 1, out.size(), stdout);
                        std::fflush(stdout);
                    } else {
                        section = "GUI";
                        TCrashShowRequest show = showRequest(options, text, record,
                            exceptModuleName.empty() ? app.moduleName : exceptModuleName, filter.dialogStyle,
                            count);
                        if (!filter.message.empty())
                            show.exceptionMessage = filter.message;
                        TCrashShowCallbacks callbacks;
                        callbacks.actionNotify = [&](int action, bool f) {
                            CrashFireAction(record, action, f);
                            return f;
                        };
                        if (toolkit)
                            toolkit->windowsSnapshot(show);
                        {
                            std::lock_guard lock(g.stateLock);
                            show.reproduceText = g.reproduceText;
                        }
                        shown = CrashReportPresenter().show(show, callbacks);
                        // The e-mail address and the steps to reproduce go into the report
                        // (and so into the log and what is sent), and are kept for the next one.
                        CrashApplyDialogAnswers(text, shown, options.text(123));
                        std::lock_guard lock(g.stateLock);
                        g.lastReport = text.report;
                        if (!shown.emailAddress.empty())
                            g.userEmail = shown.emailAddress;
                        if (shown.reproduceGiven)
                            g.reproduceText = shown.reproduceText;
                    }
                    flag = true;
                    CrashFireAction(record, 1, flag);
                }

                // 13. The log file and the send step.
                step(9, "Log");
                std::string logName;
                if (options.keepLogFile()) {
                    const std::string modulePath = CrashModuleFileOf(nullptr);
                    char host[256] = {};
                    gethostname(host, sizeof host - 1);
                    logName = chooseLogFileName(logFileNameRulesFrom(options, modulePath, host));
                    for (;;) {
                        bool flag = true;
                        CrashFireAction(record, 2, flag);
                        const LogSaveResult saved
                            = saveReportToLog(options, logName, text.report, g.programVersion);
                        if (!saved.saved) {
                            CrashInternalError("Log", 0, saved.error);
                            bool retry = false;
                            CrashFireError(record, 2, retry);
                            if (retry)
                                continue;
                        }
                        flag = true;
                        CrashFireAction(record, 3, flag);
                        break;
                    }
                }
                step(10, "Send");
                if (shown.terminateRequested && filterAction == 0)
                    filterAction = options.terminateAction() == 2 ? EndRestart : EndTerminate;
                if (TCrashReportSender *sender = CrashReportSender()) {
                    TCrashSendRequest send;
                    send.reportText = text.report;
                    send.logFileName = logName;
                    send.screenshotFile = shown.screenshotFile;
                    send.reproduceText = shown.reproduceText;
                    send.emailAddress = shown.emailAddress;
                    send.record = record;
                    send.bugId = bugId;
                    send.exceptionTime = now;
                    send.applicationVersion = app.version;
                    send.osType = input.operatingSystem.type;
                    send.osBuild = input.operatingSystem.build;
                    send.dialogStyle = filter.dialogStyle;
                    send.sendRequested = shown.sendRequested;
                    send.xmlReports = { text.report };
                    send.canShowWindows = !console;
                    send.onWorkerThread = CrashCurrentThreadId() != request.threadId;
                    send.endAction = static_cast<TCrashEndAction>(filterAction);
                    {
                        std::lock_guard lock(g.stateLock);
                        send.attachedFiles = g.attachedFiles;
                        send.repeatList = g.repeatList;
                        send.lastHtmlPage = g.lastHtmlPage;
                    }
                    const TCrashSendOutcome sent = sender->send(options, send);
                    filterAction = sent.detached ? EndContinue : sent.endAction;
                    sendDetached = sent.detached;
                }
                result = (options.behaviour() & 0x80) != 0;
            }
        }
    } catch (const std::exception &e) {
        CrashInternalError(section, 0, e.what());
    } catch (...) {
        CrashInternalError(section, 0, "unknown failure");
    }
    // The presenter's windows, clipboard and screenshot of this report are released (by the send
    // thread, when sending went on in the background: it still needs the progress window).
    try {
        if (!sendDetached)
            CrashReportPresenter().endReport();
    } catch (...) {
        CrashInternalError("EndReport", 0, "unknown failure");
    }
    // 14. Every stopped thread was released after its copy; now terminate or restart.
    step(14, "Terminate");
    CrashEndProcess(static_cast<TCrashEndAction>(filterAction));
    step(15, "Result");
    return result;
}

} // namespace crashreport
