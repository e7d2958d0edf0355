#pragma once

#include <QString>

// Where a lookup reads its entries. The program reads its compiled table directly (LoadText);
// a test that needs entries the program does not carry hands LoadTextFrom a source of its own.
class TextSource
{
public:
    virtual ~TextSource() = default;
    // The entry at number (text id + language offset), or a null string when absent.
    virtual QString entry(int number) const = 0;
};

// The rules of LoadText and LoadTextWithArg (TextTable.h), over another source of entries and
// for the given language offset instead of the program-wide one.
QString LoadTextFrom(const TextSource &source, int textId, int languageOffset);
QString LoadTextWithArgFrom(const TextSource &source, int textId, int languageOffset, const QString &arg);
