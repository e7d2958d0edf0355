#include "CrashInternal.h"
#include "CrashSendStep.h"

#include <cstdio>

#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace crashreport
{

bool CrashRestartProgram()
{
    const TCrashGlobals &g = CrashGlobals();
    std::vector<char *> argv;
    for (const std::string &a : g.arguments)
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
