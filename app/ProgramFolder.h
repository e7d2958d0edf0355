#pragma once

#include <QString>
#include <QStringList>

namespace vetu
{

// The device folder the program works on: the one optional argument after the program
// name, else the folder of the executable; always absolute and with a trailing '/'.
QString ProgramFolderFromArguments(const QStringList &arguments, const QString &executableFolder);

} // namespace vetu
