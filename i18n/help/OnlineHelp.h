#pragma once

#include "HelpOpener.h"

#include <QString>
#include <QStringList>

namespace vetu {

// "Vetu_de.chm", "Vetu_en.chm", "Vetu_fr.chm" or "Vetu_es.chm" for the offsets 0, 10000,
// 20000 and 30000; any other offset gets the German file, as the texts fall back to German.
QString HelpFileName(int languageOffset);

// The folders searched for the HTML help shipped with the program, after the program folder:
// "help" beside the executable, "../share/vetu/help" from there, the installed data folder and
// the copy in the build tree.
QStringList InstalledHelpFolders();

// The HTML help of the language ("Vetu_de.html" and so on), first in programFolder, then
// in the folders of htmlFolders; empty when there is none.
QString HtmlHelpPath(const QString &programFolder, int languageOffset, const QStringList &htmlFolders);

// What to open, and what to open instead when the desktop fails to open it.
struct HelpChoice {
    QString path;
    QString fallback;
    bool operator==(const HelpChoice &) const = default;
};

// The compiled help file of the language in programFolder when it is there and the desktop
// has a viewer for it (or there is no HTML help to open instead), with the HTML help as the
// fallback; otherwise the HTML help of the language; when neither exists, the compiled help
// file's path all the same, so the desktop can say that it is missing.
HelpChoice ChooseHelpFile(const QString &programFolder, int languageOffset, const QStringList &htmlFolders,
                          HelpOpener &desktop);

// Asks the desktop to open the help file of the language; shows no message of its own.
void OpenOnlineHelp(const QString &programFolder, int languageOffset, HelpOpener &opener);
void OpenOnlineHelp(const QString &programFolder, int languageOffset, HelpOpener &opener,
                    const QStringList &htmlFolders);

} // namespace vetu
