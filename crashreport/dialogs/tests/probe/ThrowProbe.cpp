// A small Qt program that links the crash-report library with its dialogs and throws from an
// event handler once its main window is up. The end-to-end dialog tests run it under an X server
// and answer the companion's dialogs with xdotool.
//
// Usage: crash_dialog_throw_probe <mode> <folder>
//   mode "terminate": Terminate offered; "restart": Restart offered; "reproduce": the request for
//   the steps to reproduce follows the dialog; "continue": the report ends and the program goes on.
// Each start appends "start" to <folder>/starts.txt; a restarted run (the second start) appends
// "second" and ends with 0 without throwing. After the report the program appends "continued"
// and ends with 0.

#include "CrashCapture.h"
#include "CrashModuleOptionsEx.h"
#include "TCrashApplication.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>

#include <fstream>
#include <stdexcept>
#include <string>

namespace
{

std::string g_folder;

void note(const std::string &line)
{
    std::ofstream(g_folder + "/starts.txt", std::ios::app) << line << "\n";
}

int startsSoFar()
{
    std::ifstream in(g_folder + "/starts.txt");
    int count = 0;
    for (std::string line; std::getline(in, line);)
        count += line == "start";
    return count;
}

// Learns when the report of the thrown exception is over: notify() at the outermost level
// returns only after it (events run inside it while the report waits are nested deeper).
class ProbeApplication : public TCrashApplication
{
public:
    using TCrashApplication::TCrashApplication;
    bool thrown = false;

    bool notify(QObject *receiver, QEvent *event) override
    {
        ++m_depth;
        const bool result = TCrashApplication::notify(receiver, event);
        --m_depth;
        if (m_depth == 0 && thrown) {
            thrown = false;
            QTimer::singleShot(0, this, [] {
                note("continued");
                QCoreApplication::exit(0);
            });
        }
        return result;
    }

private:
    int m_depth = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const std::string mode = argv[1];
    g_folder = argv[2];
    ProbeApplication app(argc, argv);
    note("start");
    if (startsSoFar() > 1) {
        note("second");
        return 0;
    }
    auto &options = crashreport::CrashCurrentOptions();
    if (mode == "restart")
        options.setTerminateAction(2);
    else if (mode == "reproduce" || mode == "continue")
        options.setTerminateAction(0);
    if (mode == "reproduce")
        options.setLogSections(0x02);

    QMainWindow window;
    window.setWindowTitle("Throw probe");
    auto *edit = new QLineEdit(&window);
    edit->setObjectName("ProbeEdit");
    window.setCentralWidget(edit);
    window.setGeometry(100, 100, 300, 120);
    window.show();
    edit->setFocus();
    QTimer::singleShot(500, &window, [&app] {
        app.thrown = true;
        throw std::runtime_error("Probe failure.");
    });
    return app.exec();
}
