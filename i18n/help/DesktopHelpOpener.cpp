#include "HelpOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace vetu {

void DesktopHelpOpener::open(const QString &path)
{
    (void)QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace vetu
