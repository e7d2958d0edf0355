#include "MailClient.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

extern char **environ;

namespace crashreport
{

namespace
{
    TCrashProgramRun runAndWait(const std::vector<std::string> &args)
    {
        TCrashProgramRun run;
        std::vector<char *> argv;
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        pid_t child = 0;
        const int rc = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
        if (rc != 0) {
            run.error = std::strerror(rc);
            return run;
        }
        run.started = true;
        int status = 0;
        pid_t done = 0;
        do {
            done = waitpid(child, &status, 0);
        } while (done < 0 && errno == EINTR);
        if (done != child) {
            run.error = std::strerror(errno);
            return run;
        }
        run.ended = true;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return run;
    }

    class DesktopMailClient final : public TCrashMailClient
    {
    public:
        TCrashProgramRun compose(const std::vector<std::string> &recipients, const std::string &subject,
            const std::string &body, const std::vector<std::string> &attachments) override
        {
            std::vector<std::string> args { "xdg-email", "--utf8", "--subject", subject, "--body", body };
            for (const std::string &file : attachments) {
                args.push_back("--attach");
                args.push_back(file);
            }
            // An address never passes for an option of the tool.
            for (const std::string &to : recipients)
                if (!to.empty() && to[0] != '-')
                    args.push_back(to);
            return runAndWait(args);
        }

        TCrashProgramRun openLink(const std::string &link) override
        {
            return runAndWait({ "xdg-open", link });
        }
    };
} // namespace

TCrashMailClient &CrashDesktopMailClient()
{
    static DesktopMailClient client;
    return client;
}

} // namespace crashreport
