#include "AtomicFileWriter.h"
#include "DeviceFiles.h"
#include "EquationSet.h"
#include "IniDocument.h"
#include "Windows1252.h"

#include <QDir>
#include <QFile>

namespace vetu {

void NormalizeConfigurationIni(const QString &programFolder)
{
    const QString path = QDir(programFolder).filePath(ConfigurationIniName);
    QFile file(path);
    if (!file.exists())
        return;
    // A file that cannot be read is left as it is rather than replaced by an empty one.
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return;
    file.close();
    const IniDocument document = IniDocument::parse(bytes);

    QStringList blocks;
    const auto addBlock = [&](const QString &section) {
        const QStringList lines = document.sectionLines(section);
        if (!lines.isEmpty())
            blocks.append(u'[' + section + QStringLiteral("]\r\n") + lines.join(QStringLiteral("\r\n")));
    };
    addBlock(SettingsSection);
    for (int n = 1; n <= EquationSetCount; ++n)
        addBlock(EquationSectionName(n));

    QString text;
    for (const QString &block : blocks)
        text += block + QStringLiteral("\r\n");
    WriteFileAtomically(path, EncodeWindows1252(text));
}

} // namespace vetu
