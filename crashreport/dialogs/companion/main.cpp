// crashreport-dialog: shows the crash dialogs of a program that carries the crash-report library.
// Started by the program with "--channel <fd>", the descriptor of its end of a socket pair.
#include "TCrashCompanion.h"

#include <QApplication>

#include <csignal>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv)
{
    int fd = -1;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--channel") == 0)
            fd = std::atoi(argv[i + 1]);
    if (fd < 0)
        return 2;
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("crashreport-dialog");
    crashreport::TCrashCompanion companion(fd);
    return companion.run();
}
