#include "AtomicFileWriter.h"

#include "IniFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vetu {

namespace {

constexpr qint64 StaleTemporaryAgeSeconds = 15 * 60;

// The file the replace goes to: a symbolic link is followed so that the link survives.
QString resolvedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Opens a new, so far unused file in folder; the permissions follow the umask.
int createTemporary(const QByteArray &folder, const QByteArray &fileName, QByteArray &tempPath)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        tempPath = folder + "/." + fileName + ".tmp-"
                + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// A save that was cut off (program killed, drive pulled) leaves its new file behind. Such
// files of this target that are older than any save can take are removed after a good save.
void removeStaleTemporaries(const QString &folder, const QString &fileName)
{
    const QString prefix = u'.' + fileName + QStringLiteral(".tmp-");
    const QDateTime limit = QDateTime::currentDateTimeUtc().addSecs(-StaleTemporaryAgeSeconds);
    const QFileInfoList entries = QDir(folder).entryInfoList(
            {QStringLiteral(".*")}, QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QFileInfo &entry : entries) {
        const QString name = entry.fileName();
        if (!name.startsWith(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 8)
            continue;
        bool hex = false;
        name.mid(prefix.size()).toUInt(&hex, 16);
        if (hex && entry.lastModified().toUTC() < limit)
            QFile::remove(entry.filePath());
    }
}

void syncFolder(const QByteArray &folder)
{
    // Some file systems refuse fsync on a folder; the rename itself has succeeded then.
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

void WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QString target = resolvedTarget(path);
    const QFileInfo targetInfo(target);
    const QByteArray nativeTarget = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(targetInfo.absolutePath());
    const QByteArray fileName = QFile::encodeName(targetInfo.fileName());

    struct stat existing {};
    const bool exists = ::stat(nativeTarget.constData(), &existing) == 0;
    if (exists && (!S_ISREG(existing.st_mode) || ::access(nativeTarget.constData(), W_OK) != 0))
        throw IniWriteError(path);

    QByteArray tempPath;
    const int fd = createTemporary(folder, fileName, tempPath);
    if (fd < 0)
        throw IniWriteError(path);

    bool ok = writeAll(fd, bytes);
    if (ok && exists) {
        // Best effort: file systems without owners or modes (FAT) refuse these.
        // The owner first: changing it clears set-id bits that the mode then restores.
        if (::geteuid() == 0)
            (void)::fchown(fd, existing.st_uid, existing.st_gid);
        (void)::fchmod(fd, existing.st_mode & 07777);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(tempPath.constData(), nativeTarget.constData()) == 0;
    if (!ok) {
        ::unlink(tempPath.constData());
        throw IniWriteError(path);
    }
    syncFolder(folder);
    removeStaleTemporaries(targetInfo.absolutePath(), targetInfo.fileName());
}

} // namespace vetu
