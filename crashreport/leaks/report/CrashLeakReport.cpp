// The leak report: at leaks begin the report structures come back to life (the end processing
// runs after "CrashReport.Done" and after Qt has ended, so no window and no toolkit are used);
// each leak's addresses are resolved into call-stack entries, of which those with a procedure,
// unit or line are kept; a leak whose first kept entry has no line is dropped. At leaks end one
// EMemoryLeak report carries all kept entries, without the assembler and CPU sections.
//
// Overruns and second releases are reported where the catcher finds them, inside the release:
// the report is made there without throwing (the release functions cannot let an exception
// through), and the catcher keeps the block.

#include "CrashLeakReport.h"

#include "CRLeaks.h"
#include "CrashCapture.h"
#include "CrashInternal.h"
#include "CrashModuleOptionsEx.h"
#include "CrashStackList.h"
#include "CrashThreadRegistry.h"

#include <cstdio>
#include <memory>
#include <string>

namespace crashreport
{

namespace
{
    struct LeakReport {
        TCrashStackList entries;
        std::uint64_t totalSize = 0;
        std::uint64_t totalCount = 0;
    };
    LeakReport *g_report = nullptr;

    std::string text(std::size_t id, const char *fallback)
    {
        const std::string &t = CrashCurrentOptions().text(id);
        return t.empty() ? std::string(fallback) : t;
    }

    // Runs one report of the given error.
    template <typename Error> void report(const char *className, const std::string &message,
        const TCrashStackList *stack)
    {
        TCrashReportRequest request;
        request.error = std::make_exception_ptr(Error(message));
        request.className = className;
        request.message = message;
        request.stack = stack;
        request.address = stack && !stack->empty() ? (*stack)[0].address : 0;
        request.assemblerAndCpu = false;
        TCrashEventRecord record;
        record.error = request.error;
        record.className = request.className;
        record.message = request.message;
        record.address = request.address;
        bool handled = true;
        CrashReport_LeakNotifyEvent(&record, &handled);
        if (handled)
            ProcessException(request);
    }

    // The library keeps its globals, options, thread registry, module list and buffers for the
    // whole process on purpose (a thread may still reach them): a block allocated by its own
    // code, or by a system library on its behalf (the thread block of its warm-up thread), is
    // none of the program's leaks. The allocation site is the first entry outside the standard
    // library's headers and the system libraries; it is the library's when it lies in its
    // namespace or in its source tree (its tests aside).
    bool inSystemLibrary(const TCrashStackEntry &entry)
    {
        if (!entry.module)
            return false;
        const std::string &path = entry.module->fileName;
        return path.rfind("/lib/", 0) == 0 || path.rfind("/lib64/", 0) == 0 || path.rfind("/usr/lib/", 0) == 0
            || path.rfind("/usr/lib64/", 0) == 0 || path.find("libCRLeaks.so") != std::string::npos;
    }

    bool ownBlock(const TCrashStackList &entries)
    {
        for (const auto &entry : entries) {
            if (entry->sourceFile.rfind("/usr/include/", 0) == 0 || inSystemLibrary(*entry))
                continue;
            const std::string &name = entry->className;
            const std::string &file = entry->sourceFile;
            return name == "crashreport" || name.rfind("crashreport::", 0) == 0
                || (file.find("crashreport/") != std::string::npos && file.find("/tests/") == std::string::npos);
        }
        return false;
    }

    int leaksBegin()
    {
        try {
            TCrashGlobals &g = CrashGlobals();
            if (!g.options || !g.options->active())
                return 0;
            // Qt has ended: its toolkit object must not be asked any more.
            CrashSetToolkit(nullptr);
            g.active = true;
            delete g_report;
            g_report = new LeakReport;
            return 1;
        } catch (...) {
            return 0;
        }
    }

    void oneLeak(const char *typeName, std::uint64_t size, std::uint32_t count, const std::uint64_t *stack)
    {
        try {
            if (!g_report)
                return;
            std::string name(typeName ? typeName : "Data");
            if (name.size() > 64)
                name.resize(64);
            TCrashStackList kept;
            for (std::size_t i = 0; i < CRLEAKS_STACK_DEPTH && stack[i]; ++i) {
                TCrashStackEntry entry;
                CrashResolveAddress(stack[i], CrashCurrentThreadId(), entry, kept.empty());
                if (entry.kind < StackKindProcedure)
                    continue;
                if (kept.empty() && entry.kind != StackKindLine)
                    return; // the leak's own place is not known to the line
                kept.add(std::move(entry));
            }
            if (kept.empty() || ownBlock(kept))
                return;
            // The first entry of each leak names what leaked.
            TCrashStackEntry first = kept[0];
            first.groupStart = true;
            if (first.className.empty())
                first.className = name;
            for (std::size_t i = 0; i < kept.count(); ++i)
                g_report->entries.add(i == 0 ? first : kept[i]);
            g_report->totalSize += size;
            g_report->totalCount += count;
        } catch (...) {
        }
    }

    void leaksEnd()
    {
        try {
            if (!g_report)
                return;
            std::unique_ptr<LeakReport> r(g_report);
            g_report = nullptr;
            if (r->totalSize > 0 && !r->entries.empty()) {
                char message[512];
                std::snprintf(message, sizeof message, "%s: %s=%llu - %s=%llu", text(105, "Memory Leak").c_str(),
                    text(108, "Total size").c_str(), static_cast<unsigned long long>(r->totalSize),
                    text(109, "Count").c_str(), static_cast<unsigned long long>(r->totalCount));
                report<EMemoryLeak>("EMemoryLeak", message, &r->entries);
            }
            CrashGlobals().active = false;
        } catch (...) {
        }
    }

    void overrun(void *, std::uint64_t)
    {
        try {
            report<EMemoryOverrun>("EMemoryOverrun", "Memory Overrun leak", nullptr);
        } catch (...) {
        }
    }

    void multiFree(void *)
    {
        try {
            report<EMultiFree>("EMultiFree", "Multi Free memory leak", nullptr);
        } catch (...) {
        }
    }
} // namespace

void CrashRegisterLeakCallbacks()
{
    CRLeaks_KeepLiveBlocks();
    CRLeaksCallbacks callbacks {};
    callbacks.leaksBegin = leaksBegin;
    callbacks.oneLeak = oneLeak;
    callbacks.leaksEnd = leaksEnd;
    callbacks.overrun = overrun;
    callbacks.multiFree = multiFree;
    CRLeaks_SetCallbacks(&callbacks);
}

} // namespace crashreport

// After "CrashReport.Init" (priority 101).
__attribute__((constructor(102))) static void CrashLeakReportInit()
{
    crashreport::CrashRegisterLeakCallbacks();
}
