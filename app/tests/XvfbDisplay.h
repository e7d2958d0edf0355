#pragma once
// The X server of a test that runs the real program, and xdotool on it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// Starts Xvfb on `server` with -displayfd: the server picks a free display and prints its number
// once it takes clients. Returns ":<number>", or an empty string when none came within 20 s.
QString StartXvfb(QProcess &server);

// Runs xdotool on `display`; its output, or a null array when it failed.
QByteArray RunXdotool(const QString &display, const QStringList &arguments);
