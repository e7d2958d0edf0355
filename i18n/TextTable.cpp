#include "TextTable.h"

#include "TextTableData.h"
#include "TextTableTesting.h"

#include <QHash>
#include <algorithm>

int LanguageOffset = 0;

namespace
{

constexpr int BlockSize = 10000;

QHash<int, QString> &testEntries()
{
    static QHash<int, QString> entries;
    return entries;
}

bool isLanguageOffset(int offset)
{
    return offset == GermanOffset || offset == EnglishOffset || offset == FrenchOffset
        || offset == SpanishOffset;
}

} // namespace

QString TextTableEntry(int number)
{
    if (const auto &overrides = testEntries(); !overrides.isEmpty()) {
        const auto it = overrides.constFind(number);
        if (it != overrides.cend())
            return it.value();
    }
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
    // Text ids live below the first language block; anything else would read
    // another language's entry and is treated as absent.
    if (textId <= 0 || textId >= BlockSize)
        return {};
    // An offset that names no language (negative while none has been chosen)
    // would address the neighbouring text id, so only German is read then.
    const int offset = LanguageOffset;
    QString text;
    if (offset != GermanOffset && isLanguageOffset(offset))
        text = TextTableEntry(textId + offset);
    if (text.isEmpty())
        text = TextTableEntry(textId);
    if (const auto amp = text.indexOf(u'&'); amp >= 0)
        text.remove(amp, 1);
    return text;
}

QString LoadTextWithArg(int textId, const QString &arg)
{
    QString text = LoadText(textId);
    if (const auto tilde = text.indexOf(u'~'); tilde >= 0)
        text.replace(tilde, 1, arg);
    return text;
}

void SetTextTableEntryForTesting(int number, const QString &text)
{
    testEntries().insert(number, text);
}

void ClearTextTableEntriesForTesting()
{
    testEntries().clear();
}
