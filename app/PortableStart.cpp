#include "PortableStart.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace vetu
{

void UsePortablePlugins()
{
    const QString plugins = qEnvironmentVariable("VETU_PLUGIN_PATH");
    if (!plugins.isEmpty())
        QCoreApplication::addLibraryPath(plugins);
}

} // namespace vetu
