#include "DeviceChooser.h"

#include "RemovableMedia.h"

#include <QFileDialog>

namespace vetu
{

std::optional<QString> ChooseDeviceFolder(const QString &startFolder, QWidget *parent)
{
    // Qt's own dialog rather than the desktop's: the portable copy carries no desktop theme
    // plugins, and the chooser then looks the same however the program was started.
    QFileDialog dialog(parent, QStringLiteral("Choose the folder of the Vetu device"), startFolder);
    dialog.setObjectName(QStringLiteral("DeviceFolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    return chosen.first();
}

bool TakeDeviceChoice(QStringList &arguments)
{
    if (!arguments.contains(QLatin1String(ChooseDeviceOption)))
        return true;
    const std::optional<QString> folder = ChooseDeviceFolder(UserRemovableMediaFolder());
    if (!folder)
        return false;
    const QString program = arguments.value(0);
    arguments = QStringList { program, *folder };
    return true;
}

} // namespace vetu
