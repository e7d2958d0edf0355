#pragma once

#include <QString>

// Test support only: entries set here are seen by TextTableEntry, LoadText and
// LoadTextWithArg in place of (or in addition to) the compiled table; an empty text
// stands for an empty entry. Not thread-safe; call from the test thread.
void SetTextTableEntryForTesting(int number, const QString &text);
void ClearTextTableEntriesForTesting();
