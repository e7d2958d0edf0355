#include "TextTable.h"

#include "TextSource.h"
#include "TextTableData.h"

#include <algorithm>

int LanguageOffset = 0;

namespace
{

constexpr int BlockSize = 10000;

bool isLanguageOffset(int offset)
{
    return offset == GermanOffset || offset == EnglishOffset || offset == FrenchOffset
        || offset == SpanishOffset;
}

// The lookup rules, over any way of reading an entry. The program's own lookups instantiate
// this with the compiled table, so they pay for no indirection.
template <class ReadEntry> QString lookUp(const ReadEntry &readEntry, int textId, int offset)
{
    // Text ids live below the first language block; anything else would read
    // another language's entry and is treated as absent.
    if (textId <= 0 || textId >= BlockSize)
        return {};
    // An offset that names no language (negative while none has been chosen)
    // would address the neighbouring text id, so only German is read then.
    QString text;
    if (offset != GermanOffset && isLanguageOffset(offset))
        text = readEntry(textId + offset);
    if (text.isEmpty())
        text = readEntry(textId);
    if (const auto amp = text.indexOf(u'&'); amp >= 0)
        text.remove(amp, 1);
    return text;
}

QString replaceFirstPlaceholder(QString text, const QString &arg)
{
    if (const auto tilde = text.indexOf(u'~'); tilde >= 0)
        text.replace(tilde, 1, arg);
    return text;
}

} // namespace

QString TextTableEntry(int number)
{
    const TextTableRow *begin = TextTableRows;
    const TextTableRow *end = TextTableRows + TextTableRowCount;
    const auto row
        = std::lower_bound(begin, end, number, [](const TextTableRow &r, int n) { return r.number < n; });
    if (row == end || row->number != number)
        return {};
    return QString::fromUtf8(row->text);
}

QList<int> TextTableNumbers()
{
    QList<int> numbers;
    numbers.reserve(static_cast<qsizetype>(TextTableRowCount));
    for (std::size_t i = 0; i < TextTableRowCount; ++i)
        numbers.append(TextTableRows[i].number);
    return numbers;
}

QString LoadText(int textId)
{
    return lookUp(TextTableEntry, textId, LanguageOffset);
}

QString LoadTextWithArg(int textId, const QString &arg)
{
    return replaceFirstPlaceholder(LoadText(textId), arg);
}

QString LoadTextFrom(const TextSource &source, int textId, int languageOffset)
{
    return lookUp([&source](int number) { return source.entry(number); }, textId, languageOffset);
}

QString LoadTextWithArgFrom(const TextSource &source, int textId, int languageOffset, const QString &arg)
{
    return replaceFirstPlaceholder(LoadTextFrom(source, textId, languageOffset), arg);
}
