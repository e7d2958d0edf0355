#pragma once

#include <QString>

namespace vetu {

inline const QString DeviceFileName = QStringLiteral("Vetu-Configuration.txt");
inline const QString ConfigurationIniName = QStringLiteral("Configuration.ini");
inline const QString SettingsSection = QStringLiteral("Settings");

} // namespace vetu
