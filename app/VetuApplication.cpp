#include "VetuApplication.h"

#include "UnexpectedError.h"

VetuApplication::VetuApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Vetu"));
}

bool VetuApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        vetu::ReportUnexpectedError(std::current_exception());
        return false;
    }
}
