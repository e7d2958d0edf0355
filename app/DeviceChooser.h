#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace vetu
{

// Started from the desktop's menu, the program's own folder is bin/, which holds no device
// file; the menu entry therefore starts the program with this option, and the program first
// asks for the device folder.
inline constexpr char ChooseDeviceOption[] = "--choose-device";

// Asks for a folder with Qt's folder chooser (folders only), opening at startFolder; the
// chosen folder, or nothing when the user cancels.
std::optional<QString> ChooseDeviceFolder(const QString &startFolder, QWidget *parent = nullptr);

// With ChooseDeviceOption among the arguments, asks for the device folder (opening at the
// user's removable media) and makes the arguments the program name and the chosen folder,
// as if the folder had been given; false when the user cancelled. Other arguments are left
// as they are.
bool TakeDeviceChoice(QStringList &arguments);

} // namespace vetu
