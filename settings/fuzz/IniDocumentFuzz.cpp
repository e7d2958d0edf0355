// Any bytes: parsing and writing back is the identity, a written key reads back, erasing
// its section restores the file, and names taken from the input never break anything.
#include "IniDocument.h"
#include "Windows1252.h"

#include <cstddef>
#include <cstdint>

using namespace vetu;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    IniDocument document = IniDocument::parse(content);
    if (document.serialize() != content)
        __builtin_trap();

    // Names from the input itself: only robustness is checked.
    {
        IniDocument copy = document;
        const QString text = DecodeWindows1252(content.left(24));
        const QString section = text.left(8);
        const QString key = text.mid(8, 8);
        copy.setValue(section, key, text.mid(16));
        copy.value(section, key);
        copy.sectionLines(section);
        copy.eraseSection(key);
        IniDocument::parse(copy.serialize());
    }

    const QString section = QStringLiteral("Vetu Fuzz");
    if (DecodeWindows1252(content).contains(section, Qt::CaseInsensitive))
        return 0; // the input already holds the section by chance
    document.setValue(section, QStringLiteral("k"), QStringLiteral(" v\r\n"));
    const QByteArray written = document.serialize();
    if (!written.startsWith(content))
        __builtin_trap();
    const IniDocument reread = IniDocument::parse(written);
    if (reread.value(QStringLiteral("VETU FUZZ"), QStringLiteral("K")) != QStringLiteral("v"))
        __builtin_trap();
    if (reread.sectionLines(section) != QStringList{QStringLiteral("k=v")})
        __builtin_trap();
    document.eraseSection(section);
    const QByteArray erased = document.serialize();
    if (erased != content && erased != content + "\r\n")
        __builtin_trap();
    return 0;
}
