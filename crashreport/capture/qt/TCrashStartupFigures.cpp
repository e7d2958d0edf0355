#include "TCrashStartupFigures.h"

#include "CrashCapture.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>

TCrashStartupFigures *TCrashStartupFigures::installIfWanted(QObject *application)
{
    if (!std::getenv("CRASHREPORT_STARTUP_FIGURES"))
        return nullptr;
    std::printf("crash-init-ns %llu\n", static_cast<unsigned long long>(crashreport::CrashInitNanoseconds()));
    std::fflush(stdout);
    return new TCrashStartupFigures(application);
}

TCrashStartupFigures::TCrashStartupFigures(QObject *application)
    : QObject(application)
{
    application->installEventFilter(this);
}

bool TCrashStartupFigures::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->isWindow()) {
        m_seen = true;
        // The children paint in the same pass; the figure is taken once the pass is over.
        QTimer::singleShot(0, this, [] {
            timespec cpu {};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
            std::printf("painted %.3f\n", cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6);
            std::fflush(stdout);
        });
    }
    return false;
}
