#include "CrashInternal.h"
#include "CrashSendStep.h"

#include <cstdio>

#include "SystemInfoLinux.h"

#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace crashreport
{

namespace
{
    // The program's arguments as it was started, read when they are needed rather than at
    // start-up.
    std::vector<std::string> readArguments()
    {
        std::vector<std::string> args;
        const std::string cmdline = readSmallFile("/proc/self/cmdline", 1 << 20);
        std::size_t start = 0;
        while (start < cmdline.size()) {
            std::size_t end = cmdline.find('\0', start);
            if (end == std::string::npos)
                end = cmdline.size();
            args.push_back(cmdline.substr(start, end - start));
            start = end + 1;
        }
        return args;
    }
} // namespace

bool CrashRestartProgram()
{
    const TCrashGlobals &g = CrashGlobals();
    const std::vector<std::string> arguments = readArguments();
    std::vector<char *> argv;
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    if (argv.empty())
        argv.push_back(const_cast<char *>("program"));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!g.startFolder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, g.startFolder.c_str());
    pid_t child = 0;
    const int rc = posix_spawn(&child, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

void CrashEndProcess(TCrashEndAction action)
{
    if (action == EndContinue)
        return;
    std::fflush(nullptr);
    if (action == EndRestart)
        CrashRestartProgram();
    _exit(1);
}

} // namespace crashreport
