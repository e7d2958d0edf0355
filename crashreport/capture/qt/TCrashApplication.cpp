#include "TCrashApplication.h"

#include "CrashCapture.h"

TCrashApplication::TCrashApplication(int &argc, char **argv)
    : QApplication(argc, argv)
    , m_support(*this)
{
}

TCrashApplication::~TCrashApplication() = default;

bool TCrashApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const std::exception_ptr error = std::current_exception();
        if (crashreport::CrashReportCurrentException(crashreport::OutputDialog))
            unhandledException(error);
        return false;
    }
}

void TCrashApplication::unhandledException(std::exception_ptr) { }
