#include "VetuApplication.h"

#include "UnexpectedError.h"

#include <QFont>

VetuApplication::VetuApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Vetu"));
    // The program's windows are laid out in pixels for a small sans-serif font of 11
    // pixels; message boxes share it, and one font serves every window.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
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
