#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh device folder for one test: files are written and read as raw bytes,
// so tests can compare them exactly (Windows-1252, CR LF).
class TempDeviceFolder
{
public:
    TempDeviceFolder();

    // The folder path with a trailing '/'.
    QString path() const;
    QString filePath(const QString &name) const;

    void writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;
    bool exists(const QString &name) const;

    // Joins lines with CR LF and ends the last line with CR LF too.
    static QByteArray crlf(const QStringList &lines);

private:
    QTemporaryDir m_dir;
};
