#include "OnlineHelp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace vetu {
namespace {

QString WithSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

bool IsFile(const QString &path)
{
    return QFileInfo(path).isFile();
}

} // namespace

QString HelpFileName(int languageOffset)
{
    switch (languageOffset) {
    case 10000:
        return QStringLiteral("Vetu_en.chm");
    case 20000:
        return QStringLiteral("Vetu_fr.chm");
    case 30000:
        return QStringLiteral("Vetu_es.chm");
    default:
        return QStringLiteral("Vetu_de.chm");
    }
}

QStringList InstalledHelpFolders()
{
    QStringList folders;
    if (QCoreApplication::instance()) {
        const QDir executableFolder(QCoreApplication::applicationDirPath());
        folders << executableFolder.filePath(QStringLiteral("help"))
                << QDir::cleanPath(executableFolder.filePath(QStringLiteral("../share/vetu/help")));
    }
    // Where "make install" puts the pages, and the copy made in the build tree.
    for (const QString &folder : {QStringLiteral(VETU_INSTALLED_HELP_DIR), QStringLiteral(VETU_BUILD_HELP_DIR)}) {
        if (!folders.contains(folder))
            folders << folder;
    }
    return folders;
}

QString HtmlHelpPath(const QString &programFolder, int languageOffset, const QStringList &htmlFolders)
{
    const QString htmlName = QFileInfo(HelpFileName(languageOffset)).completeBaseName() + QStringLiteral(".html");
    QStringList folders{programFolder};
    folders += htmlFolders;
    for (const QString &folder : folders) {
        const QString candidate = WithSlash(folder) + htmlName;
        if (IsFile(candidate))
            return candidate;
    }
    return QString();
}

HelpChoice ChooseHelpFile(const QString &programFolder, int languageOffset, const QStringList &htmlFolders,
                          HelpOpener &desktop)
{
    const QString compiledHelp = WithSlash(programFolder) + HelpFileName(languageOffset);
    const QString html = HtmlHelpPath(programFolder, languageOffset, htmlFolders);
    // Compiled help needs a viewer that few desktops have; the HTML edition opens in any browser.
    if (IsFile(compiledHelp) && (html.isEmpty() || desktop.hasViewer(compiledHelp)))
        return {compiledHelp, html};
    if (!html.isEmpty())
        return {html, QString()};
    return {compiledHelp, QString()};
}

void OpenOnlineHelp(const QString &programFolder, int languageOffset, HelpOpener &opener)
{
    OpenOnlineHelp(programFolder, languageOffset, opener, InstalledHelpFolders());
}

void OpenOnlineHelp(const QString &programFolder, int languageOffset, HelpOpener &opener,
                    const QStringList &htmlFolders)
{
    const HelpChoice choice = ChooseHelpFile(programFolder, languageOffset, htmlFolders, opener);
    opener.open(choice.path, choice.fallback);
}

} // namespace vetu
