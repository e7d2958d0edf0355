#pragma once

#include <QStringList>

class QWidget;

// The text id of a caption is kept in the dynamic property "Tag" of a widget or QAction.
inline constexpr const char *TagProperty = "Tag";

// Replaces items[i] by LoadText(firstTextId + i) where that text is not empty.
void TranslateItems(QStringList &items, int firstTextId);
// Translates every tagged child widget, menu action and item list of form.
void TranslateForm(QWidget *form);
