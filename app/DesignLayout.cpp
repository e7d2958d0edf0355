#include "DesignLayout.h"

#include <algorithm>
#include <cmath>

namespace vetu
{
namespace
{

// Relaxation converges in a few rounds for a form; the bound only guards against a cycle.
constexpr int MaxRounds = 64;

int Scaled(int designPixels, double scale)
{
    return static_cast<int>(std::lround(designPixels * scale));
}

int OnGrid(int value, int grid)
{
    return grid <= 1 ? value : (value + grid - 1) / grid * grid;
}

bool OverlapVertically(const QRect &a, const QRect &b)
{
    return a.top() < b.top() + b.height() && b.top() < a.top() + a.height();
}

bool OverlapHorizontally(const QRect &a, const QRect &b)
{
    return a.left() < b.left() + b.width() && b.left() < a.left() + a.width();
}

void Fit(DesignItem &item, double scale, int grid)
{
    std::vector<DesignItem> &children = item.children;
    std::vector<int> x(children.size()), y(children.size()), w(children.size()), h(children.size());
    for (size_t i = 0; i < children.size(); ++i) {
        DesignItem &child = children[i];
        Fit(child, scale, grid);
        x[i] = OnGrid(Scaled(child.design.x(), scale), grid);
        y[i] = OnGrid(Scaled(child.design.y(), scale), grid);
        w[i] = child.result.width();
        h[i] = child.result.height();
    }

    for (int round = 0; round < MaxRounds; ++round) {
        bool changed = false;
        auto raise = [&changed](int &value, int least) {
            if (value < least) {
                value = least;
                changed = true;
            }
        };
        for (size_t c = 0; c < children.size(); ++c) {
            if (children[c].ignored)
                continue;
            const QRect &cd = children[c].design;
            for (size_t n = 0; n < children.size(); ++n) {
                const QRect &nd = children[n].design;
                if (n == c || children[n].ignored)
                    continue;
                // n lies left of c in the same row: c keeps its designed distance to n.
                if (nd.x() + nd.width() <= cd.x() && OverlapVertically(nd, cd))
                    raise(x[c], OnGrid(x[n] + w[n] + Scaled(cd.x() - nd.x() - nd.width(), scale), grid));
                // n lies above c in the same column.
                if (nd.y() + nd.height() <= cd.y() && OverlapHorizontally(nd, cd))
                    raise(y[c], OnGrid(y[n] + h[n] + Scaled(cd.y() - nd.y() - nd.height(), scale), grid));
                // Shared edges of the design stay shared.
                if (nd.x() == cd.x())
                    raise(x[c], x[n]);
                if (nd.x() + nd.width() == cd.x() + cd.width())
                    raise(w[c], x[n] + w[n] - x[c]);
            }
        }
        if (!changed)
            break;
    }

    int designRight = 0;
    int designBottom = 0;
    int right = 0;
    int bottom = 0;
    for (size_t i = 0; i < children.size(); ++i) {
        DesignItem &child = children[i];
        if (child.ignored) {
            child.result = QRect(x[i], y[i], w[i], h[i]);
            continue;
        }
        child.result = QRect(x[i], y[i], w[i], h[i]);
        designRight = std::max(designRight, child.design.x() + child.design.width());
        designBottom = std::max(designBottom, child.design.y() + child.design.height());
        right = std::max(right, x[i] + w[i]);
        bottom = std::max(bottom, y[i] + h[i]);
    }
    int width = std::max(Scaled(item.design.width(), scale), item.least.width());
    int height = std::max(Scaled(item.design.height(), scale), item.least.height());
    if (right > 0)
        width = std::max(width, right + Scaled(std::max(0, item.design.width() - designRight), scale));
    if (bottom > 0)
        height = std::max(height, bottom + Scaled(std::max(0, item.design.height() - designBottom), scale));
    item.result = QRect(0, 0, OnGrid(width, grid), OnGrid(height, grid));
}

} // namespace

void FitDesignLayout(DesignItem &root, double scale, int grid)
{
    Fit(root, scale, std::max(1, grid));
    root.result.moveTopLeft(
        QPoint(OnGrid(Scaled(root.design.x(), scale), grid), OnGrid(Scaled(root.design.y(), scale), grid)));
}

int DevicePixelGrid(double devicePixelRatio)
{
    for (int step = 1; step < 8; ++step) {
        const double devicePixels = step * devicePixelRatio;
        if (std::abs(devicePixels - std::round(devicePixels)) < 1e-6)
            return step;
    }
    return 8;
}

} // namespace vetu
