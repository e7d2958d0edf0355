#include "PortableStart.h"

#include <QtGlobal>

namespace vetu
{

void ForgetPortableStartEnvironment()
{
    if (qEnvironmentVariableIsEmpty("VETU_PORTABLE_START"))
        return;
    qunsetenv("QT_PLUGIN_PATH");
    qunsetenv("VETU_PORTABLE_START");
}

} // namespace vetu
