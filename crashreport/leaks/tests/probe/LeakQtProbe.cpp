// A Qt program with the leak catcher on that leaks nothing of its own: it opens a window with a
// few widgets, types into them, and quits through the event loop.

#include "CRLeaks.h"
#include "TCrashApplication.h"

#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

int main(int argc, char **argv)
{
    std::printf("TRACKING %d\n", CRLeaks_Tracking());
    std::fflush(stdout);
    TCrashApplication app(argc, argv);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QLineEdit(&window);
    layout->addWidget(new QLabel(QStringLiteral("Name"), &window));
    layout->addWidget(edit);
    window.show();
    edit->setText(QStringLiteral("propeller %1").arg(42));
    QTimer::singleShot(50, &app, &QCoreApplication::quit);
    return app.exec();
}
