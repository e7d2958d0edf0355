#pragma once

#include <QList>
#include <QString>

// The program-wide language: 0 German, 10000 English, 20000 French, 30000 Spanish.
// Negative while no language has been chosen. 0 at process start.
extern int LanguageOffset;

inline constexpr int GermanOffset = 0;
inline constexpr int EnglishOffset = 10000;
inline constexpr int FrenchOffset = 20000;
inline constexpr int SpanishOffset = 30000;

// The text of textId in the current language (German when missing there),
// with its first '&' removed. Text id 0 gives the empty string.
QString LoadText(int textId);
// LoadText with the first '~' replaced by arg.
QString LoadTextWithArg(int textId, const QString &arg);
// The raw table entry at number (textId + offset), or a null string when absent.
QString TextTableEntry(int number);
// Every number that holds an entry in the compiled table, ascending.
QList<int> TextTableNumbers();
