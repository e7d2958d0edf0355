#include "ProgramFolder.h"

#include <QDir>

namespace vetu
{

QString ProgramFolderFromArguments(const QStringList &arguments, const QString &executableFolder)
{
    QString folder = arguments.size() > 1 ? arguments.at(1) : executableFolder;
    if (folder.isEmpty())
        folder = QStringLiteral(".");
    folder = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace vetu
