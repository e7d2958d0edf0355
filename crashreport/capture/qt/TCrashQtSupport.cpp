#include "TCrashQtSupport.h"

#include "CrashCapture.h"
#include "TCrashQtToolkit.h"
#include "TCrashStartupFigures.h"

#include <QApplication>
#include <QWidget>

TCrashQtSupport::TCrashQtSupport(QApplication &application)
    : m_toolkit(new TCrashQtToolkit)
{
    QObject::connect(&application, &QApplication::focusChanged, m_toolkit, &TCrashQtToolkit::focusChanged);
    crashreport::CrashSetToolkit(m_toolkit);
    crashreport::CrashStartWarmUp();
    TCrashStartupFigures::installIfWanted(&application);
}

TCrashQtSupport::~TCrashQtSupport()
{
    // The watchdog asks the toolkit from its own thread: it ends before the toolkit goes.
    crashreport::CrashStopFreezeCheck();
    crashreport::CrashSetToolkit(nullptr);
    delete m_toolkit;
}
