#pragma once

#include <QString>

namespace vetu
{

// The folder where the desktop mounts the user's removable drives: "<root>/media/<user>"
// (Debian, Ubuntu), else "<root>/run/media/<user>" (udisks on other systems), else home when
// neither exists. root is "" on a running system; tests pass a folder of their own.
QString RemovableMediaFolder(const QString &root, const QString &user, const QString &home);

// The same for the running user.
QString UserRemovableMediaFolder();

} // namespace vetu
