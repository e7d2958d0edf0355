#include "WidgetDesign.h"

#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QVariant>

#include <algorithm>

namespace vetu
{
namespace
{

constexpr char DesignGeometryProperty[] = "DesignGeometry";
constexpr int DesignFontPixels = 11;
// The widest number a boundary, factor or offset field must show whole.
const char *const WidestNumber = "-0.000123456";

QSize NumberFieldSize(const QLineEdit *edit)
{
    const QFontMetrics metrics = edit->fontMetrics();
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QMargins text = edit->textMargins();
    // The field's own margins around its text: two pixels on each side, as QLineEdit keeps.
    const int width = metrics.horizontalAdvance(QLatin1String(WidestNumber)) + 4 + text.left() + text.right();
    return edit->style()->sizeFromContents(
        QStyle::CT_LineEdit, &option, QSize(width, metrics.height()), edit);
}

std::vector<QWidget *> DesignedChildren(QWidget *container)
{
    std::vector<QWidget *> children;
    for (QWidget *child : container->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
        if (child->property(DesignGeometryProperty).isValid())
            children.push_back(child);
    return children;
}

} // namespace

void SetDesignGeometry(QWidget *widget, const QRect &design)
{
    widget->setProperty(DesignGeometryProperty, design);
    widget->setGeometry(design);
}

QRect DesignGeometry(const QWidget *widget)
{
    return widget->property(DesignGeometryProperty).toRect();
}

double DesignScale(const QFont &font)
{
    const int pixels = QFontInfo(font).pixelSize();
    return std::max(1.0, static_cast<double>(pixels) / DesignFontPixels);
}

QSize LeastTextSize(const QWidget *widget)
{
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->sizeHint();
    if (auto *button = qobject_cast<const QPushButton *>(widget))
        return QSize(button->sizeHint().width(), 0);
    if (auto *list = qobject_cast<const QComboBox *>(widget))
        return QSize(list->sizeHint().width(), 0);
    if (auto *group = qobject_cast<const QGroupBox *>(widget)) {
        // A group with a layout of its own (the radio groups) needs room for its items too.
        if (group->layout())
            return group->minimumSizeHint();
        return QSize(group->minimumSizeHint().width(), 0);
    }
    if (auto *edit = qobject_cast<const QLineEdit *>(widget); edit && edit->property("NumberField").toBool())
        return QSize(NumberFieldSize(edit).width(), 0);
    return QSize();
}

DesignItem DesignTree(QWidget *container, const QRect &design, const QSize &least)
{
    DesignItem item;
    item.design = design;
    item.least = least;
    // A group with its own layout is laid out by that layout, not from a design.
    if (qobject_cast<QGroupBox *>(container) && container->layout())
        return item;
    for (QWidget *child : DesignedChildren(container)) {
        DesignItem childItem = DesignTree(child, DesignGeometry(child), LeastTextSize(child));
        childItem.ignored = child->isHidden();
        item.children.push_back(std::move(childItem));
    }
    return item;
}

void ApplyDesignTree(QWidget *container, const DesignItem &item, QPoint offset)
{
    if (qobject_cast<QGroupBox *>(container) && container->layout())
        return;
    const std::vector<QWidget *> children = DesignedChildren(container);
    for (size_t i = 0; i < children.size() && i < item.children.size(); ++i) {
        children[i]->setGeometry(item.children[i].result.translated(offset));
        ApplyDesignTree(children[i], item.children[i]);
    }
}

} // namespace vetu
