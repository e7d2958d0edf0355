// The reference: an empty Qt main window of the same size, built the same way.
#include "FirstPaintProbe.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.move(390, 176);
    window.resize(677, 659);
    FirstPaintProbe probe(&window);
    window.show();
    return app.exec();
}
