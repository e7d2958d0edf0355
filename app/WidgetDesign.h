#pragma once

#include "DesignLayout.h"

#include <QRect>
#include <QSize>

class QFont;
class QWidget;

namespace vetu
{

// Places a control at its design position (design pixels, see DesignLayout.h) and keeps
// that position on the control, so the window can be laid out again for another font or
// after its captions were translated.
void SetDesignGeometry(QWidget *widget, const QRect &design);
QRect DesignGeometry(const QWidget *widget);

// Output pixels per design pixel for a font: its pixel height against the design's 11
// pixels, never below 1.
double DesignScale(const QFont &font);

// What a control's own text needs with the font in use: a label's, button's or list's
// longest text, a group box's title, and for a number field ("NumberField" property set)
// twelve characters such as "-0.000123456".
QSize LeastTextSize(const QWidget *widget);

// The design tree of a container's children that carry a design geometry, recursively;
// the container itself gets `design` and `least`.
DesignItem DesignTree(QWidget *container, const QRect &design, const QSize &least = QSize());
// Puts the fitted geometries of the tree's children onto the widgets; the container's
// own children are moved by offset.
void ApplyDesignTree(QWidget *container, const DesignItem &item, QPoint offset = QPoint());

} // namespace vetu
