// The freeze watchdog (TFreezeThread). An event posted to the GUI thread and answered within
// 50 ms stands for the main window's answer. After FreezeSeconds without an answer (a main window
// that no longer exists never counts), the main thread's registers and stack are copied while it
// is stopped for a moment, and an EFrozenApplication with text 156 is reported, booked on the
// main thread. The next cycle starts at 0 ms.

#include "CrashExceptions.h"
#include "CrashInternal.h"
#include "CrashThreadRegistry.h"
#include "CrashThreadStop.h"

#include <atomic>
#include <thread>

namespace crashreport
{

namespace
{
    class TFreezeThread
    {
    public:
        void start()
        {
            m_stop = false;
            m_thread = std::thread([this] { run(); });
        }
        void stop()
        {
            m_stop = true;
            if (m_thread.joinable())
                m_thread.join();
        }
        bool running() const { return m_thread.joinable(); }

    private:
        void sleep50() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

        void run()
        {
            CrashThreads().markInternal(CrashCurrentThreadId());
            // Wait for the main window.
            while (!m_stop) {
                TCrashToolkit *toolkit = CrashGlobals().toolkit.load();
                if (toolkit && toolkit->mainWindowExists())
                    break;
                sleep50();
            }
            while (!m_stop) {
                const std::uint64_t limit = std::uint64_t(CrashCurrentOptions().freezeSeconds()) * 1000;
                std::uint64_t unanswered = 0;
                do {
                    TCrashToolkit *toolkit = CrashGlobals().toolkit.load();
                    if (toolkit && !toolkit->mainWindowAnswers(50) && toolkit->mainWindowExists()) {
                        unanswered += 50;
                    } else {
                        for (int i = 0; i < 5 && !m_stop; ++i)
                            sleep50();
                        unanswered = 0;
                    }
                } while (!m_stop && unanswered < limit);
                if (m_stop)
                    break;
                report();
            }
        }

        void report()
        {
            try {
                TCrashThreadCopy copy;
                copy.stack.resize(StackCopyValues);
                if (!CrashCopyThread(CrashMainThreadId(), copy) || copy.context.rip == 0
                    || copy.context.rsp == 0)
                    return;
                TCrashReportRequest request;
                request.frozen = true;
                request.threadId = CrashMainThreadId();
                const std::string text = CrashCurrentOptions().text(156);
                request.error = std::make_exception_ptr(EFrozenApplication(text));
                request.className = "crashreport::EFrozenApplication";
                request.message = text;
                request.address = copy.context.rip;
                request.context = copy.context;
                request.stackCopy = copy.stack.data();
                request.stackCopyBytes = copy.stackBytes;
                request.outputKind = OutputDialog;
                CrashGlobals().freezeReportingThread = CrashCurrentThreadId();
                ProcessException(request);
                CrashGlobals().freezeReportingThread = 0;
            } catch (...) {
                CrashInternalError("Freeze", 0, "the freeze report failed");
            }
        }

        std::atomic<bool> m_stop { false };
        std::thread m_thread;
    };

    std::mutex freezeLock;
    TFreezeThread *freezeThread = nullptr; // one at most; never freed while it may run
} // namespace

void CrashStartFreezeCheck()
{
    std::lock_guard lock(freezeLock);
    if (freezeThread)
        return;
    freezeThread = new TFreezeThread;
    freezeThread->start();
}

void CrashStopFreezeCheck()
{
    std::lock_guard lock(freezeLock);
    if (!freezeThread)
        return;
    freezeThread->stop();
    delete freezeThread;
    freezeThread = nullptr;
}

} // namespace crashreport
