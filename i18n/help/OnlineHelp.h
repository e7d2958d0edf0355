#pragma once

#include "HelpOpener.h"

#include <QString>
#include <QStringList>

namespace vetu {

// "Vetu_de.chm", "Vetu_en.chm", "Vetu_fr.chm" or "Vetu_es.chm" for the offsets 0, 10000,
// 20000 and 30000; empty for any other offset.
QString HelpFileName(int languageOffset);

// The folders searched for the HTML help shipped with the program, after the program folder:
// "help" beside the executable, "../share/vetu/help" from there, the installed data folder and
// the copy in the build tree.
QStringList InstalledHelpFolders();

// The file to open: the compiled help file of the language in programFolder when it is there;
// otherwise the HTML help of the same name with ".html", first in programFolder, then in the
// folders of htmlFolders; when none exists, the compiled help file's path all the same, so the
// desktop can say that it is missing. Empty for an unknown offset.
QString HelpFilePath(const QString &programFolder, int languageOffset, const QStringList &htmlFolders);

// Asks the desktop to open the help file of the language; shows no message of its own.
void OpenOnlineHelp(const QString &programFolder, int languageOffset, HelpOpener &opener);
void OpenOnlineHelp(const QString &programFolder, int languageOffset, HelpOpener &opener,
                    const QStringList &htmlFolders);

} // namespace vetu
