#pragma once
// The Qt side of the crash-report library for any Qt Widgets program: an application class
// whose notify() is the place where an exception that leaves an event handler ends up (output
// kind 1: the report, then the event is dropped and the program goes on), with the toolkit
// services of TCrashQtSupport.

#include "TCrashQtSupport.h"

#include <QApplication>

#include <exception>

class TCrashApplication : public QApplication
{
    Q_OBJECT
public:
    TCrashApplication(int &argc, char **argv);
    ~TCrashApplication() override;

    bool notify(QObject *receiver, QEvent *event) override;

protected:
    // Called when the library leaves the exception to the program (the library is off, or a
    // filter or listener asks for the program's own handling). Does nothing by default.
    virtual void unhandledException(std::exception_ptr error);

private:
    TCrashQtSupport m_support;
};
