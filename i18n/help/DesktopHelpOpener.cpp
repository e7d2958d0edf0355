#include "HelpOpener.h"

#include <QMimeDatabase>
#include <QObject>
#include <QProcess>

namespace vetu {
namespace {

constexpr int QueryTimeoutMs = 5000;

QString MimeTypeOf(const QString &path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault())
        return type.name();
    // The registered type of compiled HTML help, for systems without a type database entry.
    if (path.endsWith(QStringLiteral(".chm"), Qt::CaseInsensitive))
        return QStringLiteral("application/vnd.ms-htmlhelp");
    return QString();
}

} // namespace

bool DesktopHelpOpener::hasViewer(const QString &path)
{
    const QString type = MimeTypeOf(path);
    if (type.isEmpty())
        return false;
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForStarted(QueryTimeoutMs))
        return false;
    if (!query.waitForFinished(QueryTimeoutMs)) {
        query.kill();
        query.waitForFinished(QueryTimeoutMs);
        return false;
    }
    // The answer is the desktop file of the program, or nothing when none is registered.
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0
           && !query.readAllStandardOutput().trimmed().isEmpty();
}

void DesktopHelpOpener::open(const QString &path, const QString &fallback)
{
    // xdg-open may stay until the viewer ends, so it is never waited for here; the process
    // object goes when xdg-open has ended, and a failure then tries the fallback.
    auto *process = new QProcess;
    auto finished = [process, fallback](bool failed) {
        process->deleteLater();
        if (failed && !fallback.isEmpty())
            DesktopHelpOpener().open(fallback, QString());
    };
    QObject::connect(process, &QProcess::finished, process,
                     [finished](int exitCode, QProcess::ExitStatus status) {
                         finished(status != QProcess::NormalExit || exitCode != 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process, [finished](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished(true);
    });
    process->start(QStringLiteral("xdg-open"), {path});
}

} // namespace vetu
