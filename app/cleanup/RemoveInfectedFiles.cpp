#include "RemoveInfectedFiles.h"

#include <QFile>

#include <array>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The clean-up works relative to an open descriptor of the program folder and never follows
// a symbolic link: every entry is examined with fstatat(AT_SYMLINK_NOFOLLOW), modes are only
// changed on entries that are not links, and links are removed with unlinkat as links. Names
// are compared with ASCII case folding, because the device's drive ignores letter case while
// a copy on a Linux file system may not.

namespace vetu {
namespace {

constexpr std::array<const char *, 3> InfectedFileNames = {
    "MicrosoftPowerPoint.exe",
    "NETSVCS.EXE",
    "autorun.inf",
};
constexpr const char *RecycledFolderName = "Recycled";

QString NotRemovedMessage(const QString &name)
{
    return QStringLiteral("Infected File ") + name
        + QStringLiteral(" could not be removed\r\nPlease contact Fennik service");
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool SameNameIgnoringCase(const QByteArray &entry, const char *name)
{
    const qsizetype length = qsizetype(qstrlen(name));
    if (entry.size() != length)
        return false;
    for (qsizetype i = 0; i < length; ++i) {
        if (AsciiLower(entry[i]) != AsciiLower(name[i]))
            return false;
    }
    return true;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { if (m_fd >= 0) ::close(m_fd); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }
    bool isValid() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Collects the names of the folder's entries, "." and ".." left out; false when it cannot be listed.
bool ListEntries(int folderFd, std::vector<QByteArray> &names)
{
    // fdopendir takes over the descriptor it is given, so hand it a duplicate.
    const int listFd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0)
        return false;
    DIR *dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return false;
    }
    ::rewinddir(dir);
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        names.push_back(name);
    }
    ::closedir(dir);
    return true;
}

// The entries of the folder that carry the name in any letter case. When the folder cannot be
// listed, the name as written is still tried.
std::vector<QByteArray> MatchingEntries(const std::vector<QByteArray> &entries, bool listed, const char *name)
{
    std::vector<QByteArray> result;
    if (!listed) {
        result.emplace_back(name);
        return result;
    }
    for (const QByteArray &entry : entries) {
        if (SameNameIgnoringCase(entry, name))
            result.push_back(entry);
    }
    return result;
}

bool StatNoFollow(int folderFd, const QByteArray &name, struct stat &info)
{
    return ::fstatat(folderFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// "Clears the attributes" of an entry that is not a link: its owner may write it.
void MakeWritable(int folderFd, const QByteArray &name, const struct stat &info, mode_t extra = 0)
{
    if (S_ISLNK(info.st_mode))
        return;
    const mode_t wanted = (info.st_mode & 07777) | S_IWUSR | extra;
    if (wanted != (info.st_mode & 07777))
        (void)::fchmodat(folderFd, name.constData(), wanted, 0);
}

void RemoveInfectedFile(int folderFd, const QByteArray &name, const char *canonicalName,
                        CleanupMessages &messages)
{
    struct stat info {};
    if (!StatNoFollow(folderFd, name, info))
        return; // missing: nothing to do
    if (S_ISDIR(info.st_mode))
        return; // only files count for these names
    MakeWritable(folderFd, name, info);
    if (::unlinkat(folderFd, name.constData(), 0) != 0)
        messages.show(NotRemovedMessage(QString::fromLatin1(canonicalName)));
}

void EmptyAndRemoveRecycled(int folderFd, const QByteArray &name, CleanupMessages &messages)
{
    struct stat info {};
    if (!StatNoFollow(folderFd, name, info))
        return;
    if (S_ISLNK(info.st_mode)) {
        // A link in the place of the folder is removed as a link; what it points to stays.
        (void)::unlinkat(folderFd, name.constData(), 0);
        return;
    }
    if (!S_ISDIR(info.st_mode))
        return;

    MakeWritable(folderFd, name, info, S_IRUSR | S_IXUSR);

    const FileDescriptor recycledFd(
        ::openat(folderFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (recycledFd.isValid()) {
        std::vector<QByteArray> entries;
        if (ListEntries(recycledFd.get(), entries)) {
            for (const QByteArray &entry : entries) {
                struct stat entryInfo {};
                if (StatNoFollow(recycledFd.get(), entry, entryInfo))
                    MakeWritable(recycledFd.get(), entry, entryInfo);
                // Deleting as a file: a sub-folder fails here and is reported.
                if (::unlinkat(recycledFd.get(), entry.constData(), 0) != 0)
                    messages.show(NotRemovedMessage(QFile::decodeName(entry)));
            }
        }
    }
    // A folder that still holds entries stays; that is not reported.
    (void)::unlinkat(folderFd, name.constData(), AT_REMOVEDIR);
}

} // namespace

void RemoveInfectedFiles(const QString &programFolder, CleanupMessages &messages)
{
    const QByteArray folderPath = QFile::encodeName(programFolder.isEmpty() ? QStringLiteral(".") : programFolder);
    const FileDescriptor folderFd(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folderFd.isValid())
        return;

    std::vector<QByteArray> entries;
    const bool listed = ListEntries(folderFd.get(), entries);

    for (const char *fileName : InfectedFileNames) {
        for (const QByteArray &entry : MatchingEntries(entries, listed, fileName))
            RemoveInfectedFile(folderFd.get(), entry, fileName, messages);
    }
    for (const QByteArray &entry : MatchingEntries(entries, listed, RecycledFolderName))
        EmptyAndRemoveRecycled(folderFd.get(), entry, messages);
}

} // namespace vetu
