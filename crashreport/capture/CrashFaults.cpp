// The fault handler of SIGSEGV, SIGBUS, SIGFPE and SIGILL.
//
// It runs on the thread's alternate signal stack (SA_ONSTACK), so that a stack overflow can
// still be handled, and with SA_NODEFER, so that the signal is not left blocked when the handler
// leaves by a throw. Two ways out:
// - The faulting instruction lies in the program's own code, which is built with
//   -fnon-call-exceptions, and the thread is not reporting: the fault's registers and stack are
//   recorded as the raise hook records a throw, and an exception object (EAccessViolation, ...)
//   is thrown from the handler. The unwinder passes the signal frame, and the exception takes the
//   path of any other exception.
// - Otherwise (a stack overflow, code without unwind information, a fault inside the library's
//   own reporting, a second fault while one is written) the minimal fatal report is written to
//   the log file and standard error with async-signal-safe calls only, and the process ends with
//   exit code 1. An alarm ends the process should writing hang.

#include "CrashExceptions.h"
#include "CrashInternal.h"
#include "CrashMinimalReport.h"
#include "CrashThreadRegistry.h"

#include "CrashDataBlock.h"
#include "LogFileName.h"
#include "OptionsReportTexts.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

namespace crashreport
{

namespace
{
    constexpr int FaultSignals[] = { SIGSEGV, SIGBUS, SIGFPE, SIGILL };
    struct sigaction previousActions[4];
    bool installed = false;

    char logName[4096];
    char fallbackLogName[4096];
    char programName[256];
    std::uint64_t ownCodeStart = 0, ownCodeEnd = 0;

    std::atomic<pid_t> fatalThread { 0 };
    char reportBuffer[64 * 1024];

    pid_t currentTid()
    {
        return static_cast<pid_t>(syscall(SYS_gettid));
    }

    void copyName(char (&out)[4096], const std::string &name)
    {
        std::strncpy(out, name.c_str(), sizeof out - 1);
        out[sizeof out - 1] = 0;
    }

    // Creates the folders of a path (async-signal-safe).
    void makeFolders(const char *path)
    {
        char folder[4096];
        std::size_t n = 0;
        for (; path[n] && n + 1 < sizeof folder; ++n) {
            folder[n] = path[n];
            if (path[n] == '/' && n > 0) {
                folder[n] = 0;
                mkdir(folder, 0755);
                folder[n] = '/';
            }
        }
    }

    int openLog(const char *name)
    {
        if (!name[0])
            return -1;
        int fd = open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fd < 0) {
            makeFolders(name);
            fd = open(name, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        }
        return fd;
    }

    void writeAll(int fd, const char *data, std::size_t size)
    {
        while (size > 0) {
            const ssize_t n = write(fd, data, size);
            if (n <= 0)
                return;
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    void alarmExit(int)
    {
        _exit(1);
    }

    const char *signalClass(int sig, int code)
    {
        switch (sig) {
        case SIGSEGV:
            return "crashreport::EAccessViolation";
        case SIGBUS:
            return "crashreport::EBusError";
        case SIGFPE:
            return code == FPE_INTDIV ? "crashreport::EDivByZero"
                : code == FPE_INTOVF  ? "crashreport::EIntOverflow"
                                      : "crashreport::EFloatingPoint";
        case SIGILL:
            return (code == ILL_PRVOPC || code == ILL_PRVREG) ? "crashreport::EPrivilege"
                                                              : "crashreport::EIllegalInstruction";
        }
        return "crashreport::EExternal";
    }

    void faultMessage(
        TCrashFixedText &text, int sig, const siginfo_t *info, const ucontext_t *uc, std::uint64_t rip)
    {
        switch (sig) {
        case SIGSEGV: {
            const bool write = uc && (uc->uc_mcontext.gregs[REG_ERR] & 2);
            text.add("Access violation at address ");
            text.addHex(rip);
            text.add(write ? ". Write of address " : ". Read of address ");
            text.addHex(reinterpret_cast<std::uint64_t>(info->si_addr));
            break;
        }
        case SIGBUS:
            text.add("Bus error at address ");
            text.addHex(rip);
            text.add(". Access of address ");
            text.addHex(reinterpret_cast<std::uint64_t>(info->si_addr));
            break;
        case SIGFPE:
            text.add(info->si_code == FPE_INTDIV  ? "Division by zero"
                    : info->si_code == FPE_INTOVF ? "Integer overflow"
                                                  : "Floating point error");
            text.add(" at address ");
            text.addHex(rip);
            break;
        default:
            text.add(info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG ? "Privileged instruction"
                                                                                : "Illegal instruction");
            text.add(" at address ");
            text.addHex(rip);
        }
    }

    [[noreturn]] __attribute__((no_sanitize("address"))) void fatalReport(
        int sig, const siginfo_t *info, const ucontext_t *uc)
    {
        const pid_t self = currentTid();
        pid_t expected = 0;
        if (!fatalThread.compare_exchange_strong(expected, self)) {
            if (expected == self)
                _exit(1); // a fault while writing the report: no recursion
            for (;;)
                pause(); // another thread writes its report and ends the process
        }
        struct sigaction alarmAction {
        };
        alarmAction.sa_handler = alarmExit;
        sigaction(SIGALRM, &alarmAction, nullptr);
        alarm(5);

        const std::uint64_t rip = uc ? static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_RIP]) : 0;
        std::uint64_t sp = uc ? static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_RSP]) : 0;
        const TCrashThreadStack &stack = CrashThisThreadStack();
        TCrashMinimalFacts facts;
        char message[256];
        TCrashFixedText messageText(message, sizeof message);
        faultMessage(messageText, sig, info, uc, rip);
        facts.className = signalClass(sig, info->si_code);
        facts.message = message;
        facts.address = rip;
        if (stack.base != 0 && sp < stack.base) {
            sp = std::max(sp & ~std::uint64_t(7), stack.low);
            facts.stack = reinterpret_cast<const std::uint64_t *>(sp);
            facts.stackValues = std::min<std::size_t>((stack.base - sp) / 8, StackCopyValues);
        }
        TCrashFixedText text(reportBuffer, sizeof reportBuffer);
        text.add("\r\n\r\n\r\n\r\n");
        const std::size_t reportStart = text.length();
        CrashFormatMinimalReport(text, programName, facts);
        text.add("\r\n\r\n\r\n");
        int fd = openLog(logName);
        if (fd < 0)
            fd = openLog(fallbackLogName);
        if (fd >= 0) {
            struct stat st {
            };
            const bool empty = fstat(fd, &st) == 0 && st.st_size == 0;
            const std::size_t from = empty ? reportStart : 0;
            writeAll(fd, text.data() + from, text.length() - from);
            fsync(fd);
            close(fd);
        }
        writeAll(2, text.data() + reportStart, text.length() - reportStart);
        _exit(1);
    }

    bool stackOverflow(const siginfo_t *info, std::uint64_t sp)
    {
        const TCrashThreadStack &stack = CrashThisThreadStack();
        if (stack.base == 0)
            return false;
        const auto address = reinterpret_cast<std::uint64_t>(info->si_addr);
        constexpr std::uint64_t Margin = 64 * 1024;
        return sp < stack.low + Margin || (address < stack.low + 4096 && address + Margin >= stack.low);
    }

    template <typename E> [[noreturn]] void throwFault(const char *message, std::uint64_t address)
    {
        throw E(message, address);
    }

    __attribute__((no_sanitize("address"))) void faultHandler(int sig, siginfo_t *info, void *ucontext)
    {
        const auto *uc = static_cast<const ucontext_t *>(ucontext);
        const std::uint64_t rip = static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_RIP]);
        const std::uint64_t sp = static_cast<std::uint64_t>(uc->uc_mcontext.gregs[REG_RSP]);
        TCrashRaiseState &state = CrashThisRaiseState();
        TCrashGlobals &g = CrashGlobals();
        const bool throwable = info->si_code > 0 && g.active.load() && fatalThread.load() == 0
            && !state.reporting && !state.busy.load() && rip >= ownCodeStart && rip < ownCodeEnd
            && !stackOverflow(info, sp);
        if (!throwable)
            fatalReport(sig, info, uc);

        // Record the fault as the raise hook records a throw; the hook then only adds the object.
        state.context = CrashContextFromUcontext(ucontext);
        state.address = rip;
        state.copyBytes = 0;
        const TCrashThreadStack &stack = CrashThisThreadStack();
        if (stack.base != 0 && sp >= stack.low && sp < stack.base && CrashEnsureRaiseCopy(state)) {
            const std::size_t values
                = std::min<std::size_t>((stack.base - (sp & ~std::uint64_t(7))) / 8, StackCopyValues);
            CrashRawCopy(state.copy, reinterpret_cast<const void *>(sp & ~std::uint64_t(7)), values * 8);
            state.copyBytes = values * 8;
        }
        state.object = nullptr;
        state.fromFault = true;
        char message[256];
        TCrashFixedText text(message, sizeof message);
        faultMessage(text, sig, info, uc, rip);
        const auto faultAddress = reinterpret_cast<std::uint64_t>(info->si_addr);
        switch (sig) {
        case SIGSEGV:
            throwFault<EAccessViolation>(message, faultAddress);
        case SIGBUS:
            throwFault<EBusError>(message, faultAddress);
        case SIGFPE:
            if (info->si_code == FPE_INTDIV)
                throwFault<EDivByZero>(message, faultAddress);
            if (info->si_code == FPE_INTOVF)
                throwFault<EIntOverflow>(message, faultAddress);
            throwFault<EFloatingPoint>(message, faultAddress);
        default:
            if (info->si_code == ILL_PRVOPC || info->si_code == ILL_PRVREG)
                throwFault<EPrivilege>(message, faultAddress);
            throwFault<EIllegalInstruction>(message, faultAddress);
        }
    }
} // namespace

void CrashPrepareMinimalReport()
{
    CrashFillMinimalModules();
    if (const TCrashMinimalModule *own
        = CrashFindMinimalModule(reinterpret_cast<std::uint64_t>(&faultHandler))) {
        ownCodeStart = own->codeStart;
        ownCodeEnd = own->codeEnd;
        std::memcpy(programName, own->name, std::min(sizeof programName - 1, sizeof own->name));
    }
    const TCrashModuleOptionsEx &options = CrashCurrentOptions();
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    const LogFileNameRules rules = logFileNameRulesFrom(options, CrashModuleFileOf(nullptr), host);
    copyName(logName, logFileName(rules));
    copyName(fallbackLogName, fallbackLogFileName(rules));
}

void CrashInstallFaultHandlers()
{
    struct sigaction action {
    };
    action.sa_sigaction = faultHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < 4; ++i)
        sigaction(FaultSignals[i], &action, &previousActions[i]);
    installed = true;
}

void CrashRemoveFaultHandlers()
{
    if (!installed)
        return;
    for (std::size_t i = 0; i < 4; ++i)
        sigaction(FaultSignals[i], &previousActions[i], nullptr);
    installed = false;
}

} // namespace crashreport

void CrashReport_CallExceptObject(const void *signalInfo, const void *ucontext, int flag)
{
    using namespace crashreport;
    if (!ucontext)
        return;
    TCrashRaiseState &state = CrashThisRaiseState();
    state.context = CrashContextFromUcontext(ucontext);
    state.address = state.context.rip;
    state.copyBytes = 0;
    state.object = nullptr;
    state.fromFault = flag != 0;
    (void)signalInfo;
}
