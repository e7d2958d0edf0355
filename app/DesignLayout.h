#pragma once

#include <QRect>
#include <QSize>

#include <vector>

namespace vetu
{

// One control or container of a window laid out in design pixels: the pixel positions of
// a form drawn for a small 11-pixel font. FitDesignLayout scales the design to the font in
// use and lets each control grow to what its text needs, keeping the design's order and
// grouping: a control that grows pushes the controls to its right (or below it) along,
// controls that shared a left or right edge in the design keep sharing it, and a
// container grows around its children with its designed margins.
struct DesignItem {
    QRect design;                  // within the parent, in design pixels
    QSize least;                   // what its own text or caption needs, in output pixels
    bool ignored = false;          // hidden: scaled only, and never pushes or is pushed
    std::vector<DesignItem> children;
    QRect result;                  // within the parent, in output pixels
};

// scale: output pixels per design pixel. grid: every result position and size is a multiple
// of it (a size of n output pixels then covers whole device pixels at fractional scales).
void FitDesignLayout(DesignItem &root, double scale, int grid = 1);

// The smallest step of output pixels that is a whole number of device pixels at this
// device pixel ratio (1 at 100 % and 200 %, 4 at 125 %, 2 at 150 %); at most 8.
int DevicePixelGrid(double devicePixelRatio);

} // namespace vetu
