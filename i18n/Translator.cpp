#include "Translator.h"

#include "RadioGroup.h"
#include "TextTable.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QList>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeView>
#include <QVariant>

#include <algorithm>
#include <functional>

namespace
{

constexpr int PackedShift = 65536;

int tagOf(const QObject *object)
{
    return object->property(TagProperty).toInt();
}

// Keeps a final colon that the caption shows, so translating twice keeps it too.
QString colonRule(const QString &shown, int tag)
{
    const QString text = LoadText(tag);
    if (text.isEmpty())
        return shown;
    if (!shown.isEmpty() && shown.endsWith(u':'))
        return text + u':';
    return text;
}

void setIfNotEmpty(int tag, const std::function<void(const QString &)> &set)
{
    if (const QString text = LoadText(tag); !text.isEmpty())
        set(text);
}

QTabWidget *tabWidgetOfPage(QWidget *widget)
{
    auto *stack = qobject_cast<QStackedWidget *>(widget->parentWidget());
    if (!stack)
        return nullptr;
    auto *tabs = qobject_cast<QTabWidget *>(stack->parentWidget());
    return tabs && tabs->indexOf(widget) >= 0 ? tabs : nullptr;
}

QList<int> columnTags(const QObject *view)
{
    QList<int> tags;
    const QVariant value = view->property("ColumnTags");
    if (!value.isValid())
        return tags;
    for (const QVariant &v : value.toList())
        tags.append(v.toInt());
    return tags;
}

void translateComboBox(QComboBox *combo, int tag)
{
    // Only the item texts change: the count and the selection stay, and no change
    // signal reaches the window's handlers, since translating is not an edit.
    const QSignalBlocker blocker(combo);
    const int index = combo->currentIndex();
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    TranslateItems(items, tag);
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i) != items.at(i))
            combo->setItemText(i, items.at(i));
    }
    if (combo->currentIndex() != index)
        combo->setCurrentIndex(index);
}

void translateRadioGroup(TRadioGroup *group, int tag)
{
    QStringList items = group->items();
    TranslateItems(items, tag % PackedShift);
    group->setItems(items);
    const int captionId = tag / PackedShift;
    if (captionId != 0)
        setIfNotEmpty(captionId, [group](const QString &t) { group->setTitle(t); });
}

void translateColumns(QAbstractItemView *view)
{
    QAbstractItemModel *model = view->model();
    if (!model)
        return;
    const QList<int> tags = columnTags(view);
    const int columns = std::min(static_cast<int>(tags.size()), model->columnCount());
    for (int column = 0; column < columns; ++column) {
        if (tags.at(column) == 0)
            continue;
        setIfNotEmpty(tags.at(column), [view, model, column](const QString &t) {
            // A table widget keeps header texts only in header items, which may not exist yet.
            if (auto *table = qobject_cast<QTableWidget *>(view)) {
                if (QTableWidgetItem *item = table->horizontalHeaderItem(column))
                    item->setText(t);
                else
                    table->setHorizontalHeaderItem(column, new QTableWidgetItem(t));
            } else {
                model->setHeaderData(column, Qt::Horizontal, t, Qt::DisplayRole);
            }
        });
    }
}

void translateWidget(QWidget *widget, int tag)
{
    if (auto *button = qobject_cast<QPushButton *>(widget))
        setIfNotEmpty(tag, [button](const QString &t) { button->setText(t); });
    if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(colonRule(label->text(), tag));
    if (auto *check = qobject_cast<QCheckBox *>(widget))
        check->setText(colonRule(check->text(), tag));
    // The buttons of a radio group are its items and belong to the group's rule.
    if (auto *radio = qobject_cast<QRadioButton *>(widget);
        radio && !qobject_cast<TRadioGroup *>(radio->parentWidget()))
        radio->setText(colonRule(radio->text(), tag));
    if (auto *box = qobject_cast<QGroupBox *>(widget); box && !qobject_cast<TRadioGroup *>(box))
        setIfNotEmpty(tag, [box](const QString &t) { box->setTitle(t); });
    if (QTabWidget *tabs = tabWidgetOfPage(widget))
        setIfNotEmpty(tag, [tabs, widget](const QString &t) { tabs->setTabText(tabs->indexOf(widget), t); });
    if (auto *group = qobject_cast<TRadioGroup *>(widget))
        translateRadioGroup(group, tag);
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        translateComboBox(combo, tag);
    if (qobject_cast<QTreeView *>(widget) || qobject_cast<QTableView *>(widget))
        translateColumns(static_cast<QAbstractItemView *>(widget));
    // A menu's caption is its menu action's text; a Tag on the menu widget counts like one on that action.
    if (auto *menu = qobject_cast<QMenu *>(widget))
        menu->setTitle(LoadText(tag));
}

// The form's menu actions: everything in its object tree, and whatever its menu
// bar and menus show even when the action object lives elsewhere.
QList<QAction *> actionsOf(QWidget *form)
{
    QList<QAction *> result;
    QSet<QAction *> seen;
    auto add = [&](QAction *action) {
        if (action && !seen.contains(action)) {
            seen.insert(action);
            result.append(action);
        }
    };
    for (QAction *action : form->findChildren<QAction *>())
        add(action);
    QList<QWidget *> holders;
    for (QMenuBar *bar : form->findChildren<QMenuBar *>())
        holders.append(bar);
    for (QMenu *menu : form->findChildren<QMenu *>()) {
        holders.append(menu);
        add(menu->menuAction());
    }
    for (int i = 0; i < holders.size(); ++i) {
        for (QAction *action : holders.at(i)->actions()) {
            add(action);
            // Sub-menus reached only through an action still have their own items.
            if (QMenu *sub = action->menu(); sub && !holders.contains(sub))
                holders.append(sub);
        }
    }
    return result;
}

} // namespace

void TranslateItems(QStringList &items, int firstTextId)
{
    if (firstTextId == 0)
        return;
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (const QString text = LoadText(firstTextId + static_cast<int>(i)); !text.isEmpty())
            items[i] = text;
    }
}

void TranslateForm(QWidget *form)
{
    if (!form)
        return;
    if (const int tag = tagOf(form); tag != 0)
        setIfNotEmpty(tag, [form](const QString &t) { form->setWindowTitle(t); });

    for (QWidget *widget : form->findChildren<QWidget *>()) {
        if (const int tag = tagOf(widget); tag != 0)
            translateWidget(widget, tag);
    }
    for (QAction *action : actionsOf(form)) {
        if (const int tag = tagOf(action); tag != 0)
            action->setText(LoadText(tag));
    }
}
