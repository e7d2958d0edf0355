#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A fresh folder for one test; files are written and read as raw bytes so that tests can
// compare them exactly.
class SettingsTestFolder
{
public:
    QString path() const { return m_dir.path() + u'/'; }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    void write(const QString &name, const QByteArray &bytes) const
    {
        QFile file(filePath(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            qFatal("cannot write test file %s", qPrintable(filePath(name)));
    }

    QByteArray read(const QString &name) const
    {
        QFile file(filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return QByteArrayLiteral("<missing>");
        return file.readAll();
    }

    bool exists(const QString &name) const { return QFile::exists(filePath(name)); }

    // Every entry of the folder, hidden ones included.
    QStringList entries() const
    {
        return QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    // Joins lines with CR LF and ends the last one with CR LF too.
    static QByteArray crlf(const QList<QByteArray> &lines)
    {
        QByteArray bytes;
        for (const QByteArray &line : lines)
            bytes += line + "\r\n";
        return bytes;
    }

private:
    QTemporaryDir m_dir;
};
