// A small Qt program that links the crash-report library and fails in the way its first argument
// names. The capture tests run it as a child process and check its exit code, standard output
// and log file. Lines it prints for the tests: "THROW-LINE <n>" (the source line of the failing
// statement), "NOTIFIED <n>" (reports counted by a listener), "BUGID <id>", "ALIVE" (the program
// went on after the report).

#include "CrashCapture.h"
#include "CrashExceptions.h"
#include "CrashModuleOptionsEx.h"
#include "CrashThreadStop.h"
#include "TCrashApplication.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace
{

struct ProbeNoReport : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct ProbeCallerHandles : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct ProbeRestart : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct NoVirtual {
    int value = 7;
};

std::atomic<int> notified { 0 };

void say(const std::string &line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class CountingListener : public crashreport::TCrashReportListener
{
public:
    enum class Mode { Count, Throw, SecondException, ClearHandled, Fault };
    explicit CountingListener(Mode mode)
        : m_mode(mode)
    {
    }
    void exceptionNotify(const crashreport::TCrashEventRecord &, bool &handled) override
    {
        ++notified;
        switch (m_mode) {
        case Mode::Count:
            break;
        case Mode::Throw:
            throw std::runtime_error("listener failure");
        case Mode::SecondException:
            try {
                throw std::logic_error("second exception while reporting");
            } catch (...) {
                say(std::string("SECOND-RESULT ")
                    + (crashreport::CrashReportCurrentException(0) ? "1" : "0"));
            }
            break;
        case Mode::ClearHandled:
            handled = false;
            break;
        case Mode::Fault: {
            volatile int *nowhere = nullptr;
            *nowhere = 1;
            break;
        }
        }
    }

private:
    Mode m_mode;
};

[[gnu::noinline]] void throwingFunction()
{
    say("THROW-LINE " + std::to_string(__LINE__ + 1));
    throw std::runtime_error("thrown in a slot");
}

[[gnu::noinline]] void faultingFunction()
{
    volatile int *nowhere = nullptr;
    say("THROW-LINE " + std::to_string(__LINE__ + 1));
    *nowhere = 42;
}

[[gnu::noinline]] void throwSiteA()
{
    throw std::runtime_error("site A");
}

[[gnu::noinline]] void throwSiteB()
{
    throw std::runtime_error("site B");
}

// Leaves return addresses into itself below the caller's frame when it returns.
[[gnu::noinline]] int leaveStale(int depth)
{
    volatile int pad[6] = { depth };
    return depth > 0 ? leaveStale(depth - 1) + pad[0] : 0;
}

// A frame whose buffer is never written: it keeps whatever earlier calls left there, which a
// scan of the stack finds as return addresses.
[[gnu::noinline]] void throwOverStale()
{
    char untouched[2048];
    asm volatile("" : : "r"(untouched) : "memory");
    throwSiteA();
}

volatile int recurseLimit = 1 << 30; // never reached: the stack ends first

[[gnu::noinline]] int recurse(int depth)
{
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth > recurseLimit)
        return 0;
    return recurse(depth + 1) + pad[0];
}

[[gnu::noinline]] void blockedFunction()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
}

void *throwingRoutine(void *)
{
    throwingFunction();
    return nullptr;
}

void *overflowRoutine(void *)
{
    std::printf("%d\n", recurse(0));
    return nullptr;
}

class ThrowingQThread : public QThread
{
protected:
    void run() override { throwingFunction(); }
};

// Clicks the button through real mouse events once the event loop runs, then quits.
void clickLater(QPushButton *button, int quitAfterMs = 100)
{
    QTimer::singleShot(0, button, [button, quitAfterMs] {
        QTest::mouseClick(button, Qt::LeftButton);
        QTimer::singleShot(quitAfterMs, qApp, [] {
            say("ALIVE");
            QCoreApplication::quit();
        });
    });
}

int runWindow(TCrashApplication &app, const std::function<void()> &slot, int quitAfterMs = 100)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *button = new QPushButton(QStringLiteral("Fail"), &window);
    layout->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, slot);
    window.show();
    clickLater(button, quitAfterMs);
    const int rc = app.exec();
    say("NOTIFIED " + std::to_string(notified.load()));
    return rc;
}

class ProbeApplication : public TCrashApplication
{
public:
    using TCrashApplication::TCrashApplication;

protected:
    void unhandledException(std::exception_ptr) override { say("PROGRAM-HANDLED"); }
};

int restartScenario()
{
    const std::string counter = std::string(std::getenv("CRASH_PROBE_DIR")) + "/starts";
    int starts = 0;
    {
        std::ifstream in(counter);
        in >> starts;
    }
    ++starts;
    {
        std::ofstream out(counter);
        out << starts;
    }
    if (starts < 2)
        throw ProbeRestart("restart me");
    std::ofstream(std::string(std::getenv("CRASH_PROBE_DIR")) + "/done") << starts;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string scenario = argc > 1 ? argv[1] : "";
    ProbeApplication app(argc, argv);
    CountingListener counter(CountingListener::Mode::Count);
    crashreport::CrashAddListener(&counter);

    if (scenario == "slot-throw")
        return runWindow(app, [] { throwingFunction(); });
    if (scenario == "slot-fault")
        return runWindow(app, [] { faultingFunction(); });
    if (scenario == "garbage") {
        int round = 0;
        return runWindow(app, [&round] {
            ++round;
            throw 42;
        });
    }
    if (scenario == "garbage-text")
        return runWindow(app, [] { throw "plain text"; });
    if (scenario == "garbage-class")
        return runWindow(app, [] { throw NoVirtual {}; });
    if (scenario == "abort")
        return runWindow(app, [] { throw crashreport::EAbort(); });
    if (scenario == "safecall" || scenario == "safecall-off") {
        if (scenario == "safecall-off") {
            auto &options = crashreport::CrashCurrentOptions();
            options.setBehaviour(options.behaviour() & ~0x40);
        }
        return runWindow(app, [] { throw std::runtime_error("[SafeCall Exception]: quiet"); });
    }
    if (scenario == "filter-none")
        return runWindow(app, [] { throw ProbeNoReport("no report"); });
    if (scenario == "filter-caller")
        return runWindow(app, [] { throw ProbeCallerHandles("the program's own"); });
    if (scenario == "bugid-a")
        return runWindow(app, [] { throwSiteA(); });
    if (scenario.rfind("bugid-stale-", 0) == 0) {
        const int depth = std::atoi(scenario.c_str() + 12);
        return runWindow(app, [depth] {
            leaveStale(depth);
            throwOverStale();
        });
    }
    if (scenario == "bugid-b")
        return runWindow(app, [] { throwSiteB(); });
    if (scenario == "password") {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *edit = new QLineEdit(&window);
        edit->setEchoMode(QLineEdit::Password);
        auto *button = new QPushButton(QStringLiteral("Fail"), &window);
        layout->addWidget(edit);
        layout->addWidget(button);
        window.show();
        window.activateWindow();
        if (!QTest::qWaitForWindowActive(&window, 2000))
            say("WINDOW-NOT-ACTIVE");
        QTimer::singleShot(0, edit, [edit] {
            edit->setFocus();
            QTest::keyClicks(edit, QStringLiteral("secret"));
            throw std::runtime_error("with a password field focused");
        });
        QTimer::singleShot(200, qApp, [] { QCoreApplication::quit(); });
        return app.exec();
    }
    if (scenario == "listener-throws") {
        CountingListener thrower(CountingListener::Mode::Throw);
        crashreport::CrashAddListener(&thrower);
        return runWindow(app, [] { throwingFunction(); });
    }
    if (scenario == "listener-second") {
        CountingListener second(CountingListener::Mode::SecondException);
        crashreport::CrashAddListener(&second);
        return runWindow(app, [] { throwingFunction(); });
    }
    if (scenario == "listener-clears") {
        CountingListener clearer(CountingListener::Mode::ClearHandled);
        crashreport::CrashAddListener(&clearer);
        std::atomic<bool> stop { false };
        std::atomic<long> spins { 0 };
        std::thread busy([&] {
            while (!stop)
                ++spins;
        });
        const int rc = runWindow(app, [] { throwingFunction(); });
        const long before = spins.load();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        say(spins.load() > before ? "OTHER-THREAD-RUNS" : "OTHER-THREAD-STOPPED");
        stop = true;
        busy.join();
        return rc;
    }
    if (scenario == "listener-faults") {
        CountingListener faulter(CountingListener::Mode::Fault);
        crashreport::CrashAddListener(&faulter);
        return runWindow(app, [] { throwingFunction(); });
    }
    if (scenario == "pthread") {
        pthread_t thread;
        pthread_create(&thread, nullptr, throwingRoutine, nullptr);
        pthread_join(thread, nullptr);
        say("ALIVE");
        say("NOTIFIED " + std::to_string(notified.load()));
        return 0;
    }
    if (scenario == "blocked-thread") {
        // A thread that blocks the signal that stops threads for their walk.
        std::atomic<bool> release { false };
        std::atomic<long> blockedId { 0 };
        std::thread blocked([&] {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, crashreport::CrashStopSignal());
            pthread_sigmask(SIG_BLOCK, &set, nullptr);
            blockedId = syscall(SYS_gettid);
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        });
        while (blockedId == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        say("BLOCKED-TID " + std::to_string(blockedId.load()));
        const int rc = runWindow(app, [] { throwingFunction(); });
        release = true;
        blocked.join();
        say("ALIVE");
        return rc;
    }
    if (scenario == "html-page") {
        say(crashreport::CrashLastHtmlPage().empty() ? "NO-PAGE-YET" : "PAGE-BEFORE-REPORT");
        try {
            throw std::runtime_error("a <b>bold</b> & \"quoted\" message");
        } catch (...) {
            crashreport::CrashReportCurrentException(crashreport::OutputHtml);
        }
        std::printf("PAGE-BEGIN\n%s\nPAGE-END\n", crashreport::CrashLastHtmlPage().c_str());
        return 0;
    }
    if (scenario == "std-thread") {
        std::thread thread([] { throwingFunction(); });
        thread.join();
        say("ALIVE");
        return 0;
    }
    if (scenario == "qthread") {
        ThrowingQThread thread;
        thread.start();
        thread.wait();
        say("ALIVE");
        return 0;
    }
    if (scenario == "eight-threads") {
        for (int round = 0; round < 10; ++round) {
            std::atomic<int> ready { 0 };
            std::vector<std::thread> threads;
            for (int i = 0; i < 8; ++i) {
                threads.emplace_back([&ready] {
                    ++ready;
                    while (ready.load() < 8) { }
                    try {
                        throwingFunction();
                    } catch (...) {
                        crashreport::CrashReportCurrentException(crashreport::OutputDefault);
                    }
                });
            }
            for (auto &t : threads)
                t.join();
        }
        say("NOTIFIED " + std::to_string(notified.load()));
        return 0;
    }
    if (scenario == "overflow-worker") {
        pthread_t thread;
        pthread_create(&thread, nullptr, overflowRoutine, nullptr);
        pthread_join(thread, nullptr);
        say("ALIVE");
        return 0;
    }
    if (scenario == "terminate") {
        throwingFunction();
        return 0;
    }
    if (scenario == "call-report") {
        const std::string stack = "4096|probe|Unit1.cpp|TForm1|Button1Click|42|3\r\n"
                                  "4097|probe|Unit1.cpp|TForm1|SixFields|43\r\n"
                                  "4098|probe|Unit1.cpp|TForm1|EightFields|44|1|extra\r\n"
                                  "4099|probe|Unit2.cpp||TOther.Method|50|2\r\n";
        const bool result = CallCrashReport("EOleError", "given as text", stack.c_str());
        say(std::string("RESULT ") + (result ? "1" : "0"));
        say("NOTIFIED " + std::to_string(notified.load()));
        return 0;
    }
    if (scenario == "restart")
        return restartScenario();
    if (scenario == "freeze-blocked" || scenario == "freeze-answers") {
        QWidget window;
        window.resize(100, 100);
        window.show();
        if (scenario == "freeze-blocked") {
            QTimer::singleShot(300, &window, [] { blockedFunction(); });
            // Ends 1.5 s after the first report has been counted (a second one would come
            // within that time), or after 20 s: a slow machine may take long over the report.
            auto *poll = new QTimer(&window);
            QObject::connect(poll, &QTimer::timeout, qApp, [poll] {
                if (notified.load() > 0) {
                    poll->stop();
                    QTimer::singleShot(1500, qApp, [] { QCoreApplication::quit(); });
                }
            });
            poll->start(50);
            QTimer::singleShot(20000, qApp, [] { QCoreApplication::quit(); });
        } else {
            QTimer::singleShot(3000, qApp, [] { QCoreApplication::quit(); });
        }
        const int rc = app.exec();
        say("NOTIFIED " + std::to_string(notified.load()));
        return rc;
    }
    say("unknown scenario");
    return 2;
}
