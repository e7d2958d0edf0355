#include "MailClient.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

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

    // xdg-email returns as soon as the client has its compose window open; the client reads an
    // attachment only when the user presses Send, long after the send flow has removed its
    // temporary folder. So the client gets copies in a folder of its own under the user's cache,
    // which holds the last mail's files only.
    std::vector<std::string> lastingCopies(const std::vector<std::string> &attachments)
    {
        namespace fs = std::filesystem;
        const char *cache = std::getenv("XDG_CACHE_HOME");
        const char *home = std::getenv("HOME");
        fs::path folder;
        if (cache && cache[0] == '/')
            folder = fs::path(cache) / "CrashReport" / "mail";
        else if (home && home[0] == '/')
            folder = fs::path(home) / ".cache" / "CrashReport" / "mail";
        else
            return attachments;
        std::error_code ec;
        fs::create_directories(folder, ec);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
        for (const fs::directory_entry &old : fs::directory_iterator(folder, ec))
            if (old.is_regular_file(ec))
                fs::remove(old.path(), ec);
        std::vector<std::string> copies;
        for (const std::string &file : attachments) {
            const fs::path copy = folder / fs::path(file).filename();
            std::error_code copyError;
            fs::copy_file(file, copy, fs::copy_options::overwrite_existing, copyError);
            copies.push_back(copyError ? file : copy.string());
        }
        return copies;
    }

    class DesktopMailClient final : public TCrashMailClient
    {
    public:
        TCrashProgramRun compose(const std::vector<std::string> &recipients, const std::string &subject,
            const std::string &body, const std::vector<std::string> &attachments) override
        {
            std::vector<std::string> args { "xdg-email", "--utf8", "--subject", subject, "--body", body };
            for (const std::string &file : lastingCopies(attachments)) {
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
