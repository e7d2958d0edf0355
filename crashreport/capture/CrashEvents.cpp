// The ten events: the raising module's own export of the same name (when that module carries a
// compatible library of its own), then the listeners of TCrashReportList, last registered first,
// then the plain procedure variable. A failure inside a listener is swallowed.

#include "CrashInternal.h"

#include "CrashDataBlock.h"
#include "CrashModulesList.h"

#include <dlfcn.h>

#include <algorithm>

namespace crashreport
{

namespace
{
    std::vector<TCrashReportListener *> listenersLastFirst()
    {
        auto &g = CrashGlobals();
        std::lock_guard lock(g.stateLock);
        std::vector<TCrashReportListener *> list(g.listeners.rbegin(), g.listeners.rend());
        return list;
    }

    template <typename F> void guarded(F &&f)
    {
        try {
            f();
        } catch (...) {
            // a listener's failure never reaches the report
        }
    }

    // The raising module's export of the same name, when it is another module that carries a
    // compatible library.
    void *moduleExport(const TCrashEventRecord &record, const char *name)
    {
        if (record.address == 0)
            return nullptr;
        Dl_info info {};
        if (!dladdr(reinterpret_cast<void *>(record.address), &info) || !info.dli_fname)
            return nullptr;
        Dl_info own {};
        if (dladdr(reinterpret_cast<void *>(&moduleExport), &own) && own.dli_fbase == info.dli_fbase)
            return nullptr;
        auto module = TCrashModulesList::instance().findByAddress(record.address);
        if (!module || !module->hasLibraryData || !module->options)
            return nullptr;
        void *handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
        if (!handle)
            return nullptr;
        void *symbol = dlsym(handle, name);
        dlclose(handle);
        return symbol;
    }

    // Runs the three kinds of handler for one event.
    template <typename Forward, typename Listen, typename Procedure>
    void fire(const TCrashEventRecord &record, const char *exportName, Forward forward, Listen listen,
        Procedure procedure)
    {
        CrashRunOnFaultingThread([&] {
            guarded([&] {
                if (void *symbol = moduleExport(record, exportName))
                    forward(symbol);
            });
            for (TCrashReportListener *listener : listenersLastFirst())
                guarded([&] { listen(*listener); });
            guarded([&] { procedure(CrashEventProcedures()); });
        });
    }
} // namespace

void CrashAddListener(TCrashReportListener *listener)
{
    if (!listener)
        return;
    auto &g = CrashGlobals();
    std::lock_guard lock(g.stateLock);
    g.listeners.push_back(listener);
}

void CrashRemoveListener(TCrashReportListener *listener)
{
    auto &g = CrashGlobals();
    std::lock_guard lock(g.stateLock);
    std::erase(g.listeners, listener);
}

TCrashEventProcedures &CrashEventProcedures()
{
    static TCrashEventProcedures procedures;
    return procedures;
}

void CrashFireExceptionNotify(const TCrashEventRecord &record, bool handledMark, bool &handled)
{
    using Export = bool (*)(const TCrashEventRecord *, bool *);
    if (handledMark) {
        fire(
            record, "CrashReport_HandledExceptionNotifyEvent",
            [&](void *f) { reinterpret_cast<Export>(f)(&record, &handled); },
            [&](TCrashReportListener &l) { l.handledExceptionNotify(record, handled); },
            [&](TCrashEventProcedures &p) {
                if (p.handledExceptionNotify)
                    p.handledExceptionNotify(record, handled);
            });
    } else {
        fire(
            record, "CrashReport_ExceptionNotifyEvent",
            [&](void *f) { reinterpret_cast<Export>(f)(&record, &handled); },
            [&](TCrashReportListener &l) { l.exceptionNotify(record, handled); },
            [&](TCrashEventProcedures &p) {
                if (p.exceptionNotify)
                    p.exceptionNotify(record, handled);
            });
    }
}

void CrashFireAction(const TCrashEventRecord &record, int action, bool &flag)
{
    using Export = bool (*)(const TCrashEventRecord *, int, bool *);
    fire(
        record, "CrashReport_ExceptionActionNotifyEvent",
        [&](void *f) { reinterpret_cast<Export>(f)(&record, action, &flag); },
        [&](TCrashReportListener &l) { l.exceptionActionNotify(record, action, flag); },
        [&](TCrashEventProcedures &p) {
            if (p.exceptionActionNotify)
                p.exceptionActionNotify(record, action, flag);
        });
}

void CrashFireError(const TCrashEventRecord &record, int code, bool &retry)
{
    using Export = bool (*)(const TCrashEventRecord *, int, bool *);
    fire(
        record, "CrashReport_ExceptionErrorNotifyEvent",
        [&](void *f) { reinterpret_cast<Export>(f)(&record, code, &retry); },
        [&](TCrashReportListener &l) { l.exceptionErrorNotify(record, code, retry); },
        [&](TCrashEventProcedures &p) {
            if (p.exceptionErrorNotify)
                p.exceptionErrorNotify(record, code, retry);
        });
}

void CrashFireCustomData(
    const TCrashEventRecord &record, std::vector<std::pair<std::string, std::string>> &data)
{
    using Export = bool (*)(const TCrashEventRecord *, std::vector<std::pair<std::string, std::string>> *);
    fire(
        record, "CrashReport_CustomDataRequestEventEx",
        [&](void *f) { reinterpret_cast<Export>(f)(&record, &data); },
        [&](TCrashReportListener &l) { l.customDataRequestEx(record, data); },
        [&](TCrashEventProcedures &p) {
            if (p.customDataRequestEx)
                p.customDataRequestEx(record, data);
        });
}

} // namespace crashreport

// The exports run this module's listeners and procedure variables only.
namespace
{
using namespace crashreport;
template <typename F> bool runListeners(F f)
{
    try {
        for (TCrashReportListener *listener : listenersLastFirst())
            guarded([&] { f(*listener); });
        return true;
    } catch (...) {
        return false;
    }
}
} // namespace

extern "C" {
bool CrashReport_ExceptionNotifyEvent(const TCrashEventRecord *r, bool *handled)
{
    return r && handled && runListeners([&](TCrashReportListener &l) { l.exceptionNotify(*r, *handled); });
}
bool CrashReport_HandledExceptionNotifyEvent(const TCrashEventRecord *r, bool *handled)
{
    return r && handled
        && runListeners([&](TCrashReportListener &l) { l.handledExceptionNotify(*r, *handled); });
}
bool CrashReport_ExceptionActionNotifyEvent(const TCrashEventRecord *r, int action, bool *flag)
{
    return r && flag
        && runListeners([&](TCrashReportListener &l) { l.exceptionActionNotify(*r, action, *flag); });
}
bool CrashReport_ExceptionErrorNotifyEvent(const TCrashEventRecord *r, int code, bool *retry)
{
    return r && retry
        && runListeners([&](TCrashReportListener &l) { l.exceptionErrorNotify(*r, code, *retry); });
}
bool CrashReport_CustomDataRequestEvent(const TCrashEventRecord *r, std::vector<std::string> *lines)
{
    return r && lines && runListeners([&](TCrashReportListener &l) { l.customDataRequest(*r, *lines); });
}
bool CrashReport_CustomDataRequestEventEx(
    const TCrashEventRecord *r, std::vector<std::pair<std::string, std::string>> *data)
{
    return r && data && runListeners([&](TCrashReportListener &l) { l.customDataRequestEx(*r, *data); });
}
bool CrashReport_AttachedFilesRequestEvent(const TCrashEventRecord *r, std::vector<std::string> *files)
{
    return r && files && runListeners([&](TCrashReportListener &l) { l.attachedFilesRequest(*r, *files); });
}
bool CrashReport_CustomWebFieldsRequestEvent(
    const TCrashEventRecord *r, std::vector<std::pair<std::string, std::string>> *fields)
{
    return r && fields
        && runListeners([&](TCrashReportListener &l) { l.customWebFieldsRequest(*r, *fields); });
}
bool CrashReport_CustomButtonClickEvent(const TCrashEventRecord *r, bool *close)
{
    return r && close && runListeners([&](TCrashReportListener &l) { l.customButtonClick(*r, *close); });
}
bool CrashReport_LeakNotifyEvent(const TCrashEventRecord *r, bool *handled)
{
    return r && handled && runListeners([&](TCrashReportListener &l) { l.leakNotify(*r, *handled); });
}
}
