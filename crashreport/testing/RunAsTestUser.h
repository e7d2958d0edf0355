#pragma once
// Runs a piece of a test with the rights of an ordinary user, so that file modes are obeyed.
//
// Permission bits do not stop root, and CI runs the tests as root. The body therefore runs in a
// child process: as root the child becomes user "nobody" (the test hands the files of the case
// to that user with chownToTestUser first); otherwise it keeps the test's own user. The child's
// standard error is returned, so that what the body wrote there can be checked.

#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace crashreport::testing
{

struct ChildResult {
    int exitCode = -1; // the body's return value; -1 when the child did not end normally
    std::string standardError;
};

// The user the body runs as: "nobody" under root, else the current user.
inline uid_t testUserId()
{
    if (::geteuid() != 0)
        return ::geteuid();
    const passwd *nobody = ::getpwnam("nobody");
    return nobody ? nobody->pw_uid : 65534;
}

inline gid_t testGroupId()
{
    if (::geteuid() != 0)
        return ::getegid();
    const passwd *nobody = ::getpwnam("nobody");
    return nobody ? nobody->pw_gid : 65534;
}

// Gives a file or folder to the test user; false when that failed.
inline bool chownToTestUser(const std::string &path)
{
    return ::chown(path.c_str(), testUserId(), testGroupId()) == 0;
}

inline ChildResult runAsTestUser(const std::function<int()> &body)
{
    ChildResult result;
    int fds[2];
    if (::pipe(fds) != 0)
        return result;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return result;
    }
    if (child == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], STDERR_FILENO);
        ::close(fds[1]);
        if (::geteuid() == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(testGroupId()) != 0 || ::setuid(testUserId()) != 0)
                ::_exit(125);
        }
        ::_exit(body() & 0xFF);
    }
    ::close(fds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        result.standardError.append(buffer, std::size_t(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

} // namespace crashreport::testing
