#pragma once

#include <csignal>
#include <sys/resource.h>

// Lets this process's writes to regular files fail beyond `limit` bytes for the guard's
// lifetime, as a full or failing drive does in the middle of a write. Unlike permission
// bits this also stops a superuser, so tests of refused writes run as root too.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t limit)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved {};
    void (*m_oldHandler)(int) = SIG_DFL;
};
