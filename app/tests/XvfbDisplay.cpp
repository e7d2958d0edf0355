#include "XvfbDisplay.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>

QString StartXvfb(QProcess &server)
{
    server.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1366x768x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    if (!server.waitForStarted(10000))
        return {};
    QElapsedTimer timer;
    timer.start();
    while (!server.canReadLine() && timer.elapsed() < 20000)
        server.waitForReadyRead(500);
    const QByteArray number = server.readLine().trimmed();
    return number.isEmpty() ? QString() : QStringLiteral(":") + QString::fromLatin1(number);
}

QByteArray RunXdotool(const QString &display, const QStringList &arguments)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral("xdotool"), arguments);
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
        return {};
    const QByteArray output = tool.readAllStandardOutput();
    return output.isNull() ? QByteArray("") : output;
}
