#include "RemovableMedia.h"

#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace vetu
{

QString RemovableMediaFolder(const QString &root, const QString &user, const QString &home)
{
    if (!user.isEmpty() && !user.contains(QLatin1Char('/'))) {
        for (const char *parent : { "/media/", "/run/media/" }) {
            const QString folder = root + QLatin1String(parent) + user;
            if (QFileInfo(folder).isDir())
                return folder;
        }
    }
    return home;
}

QString UserRemovableMediaFolder()
{
    // The account's name, as udisks names the mount folder; $USER only when the account has none.
    QString user;
    if (const passwd *account = ::getpwuid(::getuid()); account && account->pw_name)
        user = QString::fromLocal8Bit(account->pw_name);
    if (user.isEmpty())
        user = qEnvironmentVariable("USER");
    return RemovableMediaFolder(QString(), user, QDir::homePath());
}

} // namespace vetu
