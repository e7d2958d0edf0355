// crashreport-dialog: shows the crash dialogs of a program that carries the crash-report library.
// Started by the program with "--channel <fd>", the descriptor of its end of a socket pair, and
// "--standby" when it is started ahead of need and waits for a report.
#include "TCrashCompanion.h"
#include "TCrashWarmUp.h"

#include <QApplication>

#include <csignal>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    int fd = -1;
    bool standby = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--channel") == 0 && i + 1 < argc)
            fd = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--standby") == 0)
            standby = true;
    }
    if (fd < 0)
        return 2;
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("crashreport-dialog");
    if (standby)
        crashreport::CrashWarmUpDialogs(); // paid now, while the program runs, not after an error
    crashreport::TCrashCompanion companion(fd);
    return companion.run(standby);
}
