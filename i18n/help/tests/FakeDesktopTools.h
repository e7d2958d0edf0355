#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// Stand-ins for the desktop's "xdg-open" and "xdg-mime", put on PATH (and nothing else is)
// for the guard's lifetime. Both record their arguments, one line per call; xdg-mime
// answers the viewer given with setViewer, xdg-open fails for the arguments ending as
// given with failOpeningOf. The scripts use shell built-ins only.
class FakeDesktopTools
{
public:
    FakeDesktopTools()
        : m_oldPath(qgetenv("PATH"))
    {
        const QString d = m_dir.path();
        write(QStringLiteral("xdg-open"),
              "#!/bin/sh\n"
              "printf '%s\\n' \"$*\" >> '" + d.toUtf8() + "/opened'\n"
              "if [ -f '" + d.toUtf8() + "/fails' ]; then\n"
              "  while IFS= read -r suffix; do\n"
              "    case \"$1\" in *\"$suffix\") exit 4 ;; esac\n"
              "  done < '" + d.toUtf8() + "/fails'\n"
              "fi\n"
              "exit 0\n");
        write(QStringLiteral("xdg-mime"),
              "#!/bin/sh\n"
              "printf '%s\\n' \"$*\" >> '" + d.toUtf8() + "/queried'\n"
              "if [ -f '" + d.toUtf8() + "/viewer' ]; then\n"
              "  IFS= read -r viewer < '" + d.toUtf8() + "/viewer'; printf '%s\\n' \"$viewer\"\n"
              "fi\n"
              "exit 0\n");
        qputenv("PATH", QFile::encodeName(d));
    }
    ~FakeDesktopTools() { qputenv("PATH", m_oldPath); }
    FakeDesktopTools(const FakeDesktopTools &) = delete;
    FakeDesktopTools &operator=(const FakeDesktopTools &) = delete;

    bool valid() const { return m_dir.isValid(); }
    // What "xdg-mime query default" prints; empty: no viewer registered.
    void setViewer(const QByteArray &desktopFile) { write(QStringLiteral("viewer"), desktopFile + '\n', false); }
    // xdg-open fails (exit code 4) for arguments ending in suffix; "" fails every call.
    void failOpeningOf(const QByteArray &suffix) { append(QStringLiteral("fails"), suffix + '\n'); }
    void removeXdgMime() { QFile::remove(m_dir.filePath(QStringLiteral("xdg-mime"))); }

    QStringList opened() const { return lines(QStringLiteral("opened")); }
    QStringList queried() const { return lines(QStringLiteral("queried")); }
    // Waits until xdg-open has been called count times.
    bool waitForOpened(int count, int timeoutMs = 10000) const
    {
        return QTest::qWaitFor([&] { return opened().size() >= count; }, timeoutMs);
    }

private:
    void write(const QString &name, const QByteArray &bytes, bool executable = true)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        file.write(bytes);
        file.close();
        if (executable)
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    }
    void append(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        if (file.open(QIODevice::Append))
            file.write(bytes);
    }
    QStringList lines(const QString &name) const
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList result = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        if (!result.isEmpty() && result.last().isEmpty())
            result.removeLast();
        return result;
    }

    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};
