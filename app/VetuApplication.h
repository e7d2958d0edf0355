#pragma once

#include <QApplication>

// The program's application object. An exception that leaves an event handler is shown
// by vetu::ReportUnexpectedError and the program goes on; the event counts as unhandled.
class VetuApplication : public QApplication
{
    Q_OBJECT
public:
    VetuApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};
