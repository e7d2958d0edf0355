#include "TCrashQtSupport.h"

#include "CrashCapture.h"
#include "TCrashDialogPresenter.h"
#include "TCrashQtToolkit.h"
#include "TCrashStartupFigures.h"

#include <QApplication>
#include <QWidget>

TCrashQtSupport::TCrashQtSupport(QApplication &application)
    : m_toolkit(new TCrashQtToolkit)
    , m_presenter(std::make_unique<crashreport::TCrashDialogPresenter>())
{
    QObject::connect(&application, &QApplication::focusChanged, m_toolkit, &TCrashQtToolkit::focusChanged);
    application.installEventFilter(m_toolkit);
    crashreport::CrashSetToolkit(m_toolkit);
    // The dialogs of a report run in the companion program; one waits, started ahead of need,
    // where windows can be shown. A program with a presenter of its own installs it afterwards.
    crashreport::CrashSetReportPresenter(m_presenter.get());
    if (m_toolkit->canShowWindows())
        m_presenter->prepareAhead();
    crashreport::CrashStartWarmUp();
    TCrashStartupFigures::installIfWanted(&application);
}

TCrashQtSupport::~TCrashQtSupport()
{
    // The watchdog asks the toolkit from its own thread: it ends before the toolkit goes.
    crashreport::CrashStopFreezeCheck();
    crashreport::CrashSetToolkit(nullptr);
    if (&crashreport::CrashReportPresenter() == m_presenter.get())
        crashreport::CrashSetReportPresenter(nullptr);
    m_presenter.reset();
    delete m_toolkit;
}
