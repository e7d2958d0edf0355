#include "TempDeviceFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

TempDeviceFolder::TempDeviceFolder()
{
    m_dir.setAutoRemove(true);
}

QString TempDeviceFolder::path() const
{
    return m_dir.path() + QLatin1Char('/');
}

QString TempDeviceFolder::filePath(const QString &name) const
{
    return path() + name;
}

void TempDeviceFolder::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write test fixture %s", qPrintable(file.fileName()));
    file.write(bytes);
}

QByteArray TempDeviceFolder::readFile(const QString &name) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool TempDeviceFolder::exists(const QString &name) const
{
    return QFileInfo::exists(filePath(name));
}

QByteArray TempDeviceFolder::crlf(const QStringList &lines)
{
    QByteArray out;
    for (const QString &line : lines) {
        out += line.toLatin1();
        out += "\r\n";
    }
    return out;
}
