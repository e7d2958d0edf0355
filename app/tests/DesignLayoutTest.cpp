// Fitting a design to a font and to the texts: plain geometry, no window.
#include "DesignLayout.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <tuple>

using vetu::DesignItem;

namespace
{

DesignItem Item(QRect design, QSize least = QSize(), std::vector<DesignItem> children = {})
{
    DesignItem item;
    item.design = design;
    item.least = least;
    item.children = std::move(children);
    return item;
}

// A group of two rows, "label field" and "label field", with a second group below the
// first that shares its left and right edges, as the General Settings page has them.
DesignItem Page(QSize firstLabel = QSize(), QSize secondLabel = QSize())
{
    return Item({ 0, 0, 300, 200 }, QSize(),
        { Item({ 8, 8, 284, 60 }, QSize(),
              { Item({ 16, 20, 100, 16 }, firstLabel), Item({ 120, 18, 60, 22 }),
                  Item({ 16, 40, 100, 16 }, secondLabel), Item({ 120, 38, 60, 22 }) }),
            Item({ 8, 76, 284, 60 }, QSize(), { Item({ 16, 20, 260, 16 }) }) });
}

} // namespace

TEST(DesignLayout, AtScaleOneWithEnoughRoomEverythingStaysAsDesigned)
{
    DesignItem page = Page(QSize(90, 14), QSize(100, 16));
    vetu::FitDesignLayout(page, 1.0);
    EXPECT_EQ(page.result, QRect(0, 0, 300, 200));
    EXPECT_EQ(page.children[0].result, QRect(8, 8, 284, 60));
    EXPECT_EQ(page.children[0].children[1].result, QRect(120, 18, 60, 22));
    EXPECT_EQ(page.children[1].result, QRect(8, 76, 284, 60));
}

TEST(DesignLayout, AGrowingLabelPushesItsRowAndItsGroupAlong)
{
    DesignItem page = Page(QSize(150, 16));
    vetu::FitDesignLayout(page, 1.0);
    const DesignItem &group = page.children[0];
    EXPECT_EQ(group.children[0].result, QRect(16, 20, 150, 16));
    // The field keeps its distance of 4 to the label; the field below shares its left edge.
    EXPECT_EQ(group.children[1].result, QRect(170, 18, 60, 22));
    EXPECT_EQ(group.children[3].result, QRect(170, 38, 60, 22));
    // The group keeps its designed right margin of 284 - 180 = 104.
    EXPECT_EQ(group.result.width(), 230 + 104);
    // The group below shares both edges with it, and the page keeps its margin of 8.
    EXPECT_EQ(page.children[1].result, QRect(8, 76, 334, 60));
    EXPECT_EQ(page.result.width(), 8 + 334 + 8);
    EXPECT_EQ(page.result.height(), 200);
}

TEST(DesignLayout, ATallerItemPushesWhatIsBelowIt)
{
    DesignItem page = Page();
    page.children[0].least = QSize(0, 90);
    vetu::FitDesignLayout(page, 1.0);
    EXPECT_EQ(page.children[0].result, QRect(8, 8, 284, 90));
    EXPECT_EQ(page.children[1].result, QRect(8, 106, 284, 60));
}

TEST(DesignLayout, HiddenItemsAreScaledButNeitherPushNorArePushed)
{
    DesignItem page = Item({ 0, 0, 200, 50 }, QSize(),
        { Item({ 8, 8, 50, 20 }, QSize(120, 20)), Item({ 70, 8, 50, 20 }), Item({ 130, 8, 50, 20 }) });
    page.children[1].ignored = true;
    vetu::FitDesignLayout(page, 1.0);
    EXPECT_EQ(page.children[1].result, QRect(70, 8, 50, 20));
    EXPECT_EQ(page.children[2].result, QRect(8 + 120 + 72, 8, 50, 20));
}

TEST(DesignLayout, ScalesWithTheFont)
{
    const std::tuple<double, QRect, QSize> cases[] = {
        { 1.5, QRect(180, 27, 90, 33), QSize(450, 300) },
        { 2.0, QRect(240, 36, 120, 44), QSize(600, 400) },
    };
    for (const auto &[scale, field, size] : cases) {
        DesignItem page = Page();
        vetu::FitDesignLayout(page, scale);
        EXPECT_EQ(page.children[0].children[1].result, field) << scale;
        EXPECT_EQ(page.result.size(), size) << scale;
    }
}

// On the grid every edge falls on a whole device pixel, and nothing gets smaller than scaled.
TEST(DesignLayout, SnapsToTheDevicePixelGrid)
{
    const std::pair<double, int> cases[] = { { 1.0, 4 }, { 1.25, 4 }, { 1.5, 2 }, { 1.09, 8 } };
    for (const auto &[scale, grid] : cases) {
        DesignItem page = Page(QSize(133, 17));
        vetu::FitDesignLayout(page, scale, grid);
        const std::function<void(const DesignItem &)> check = [&](const DesignItem &item) {
            const QRect r = item.result;
            for (int value : { r.x(), r.y(), r.width(), r.height() })
                EXPECT_EQ(value % grid, 0) << scale;
            EXPECT_GE(r.width(), item.design.width() * scale - 0.5) << scale;
            EXPECT_GE(r.height(), item.design.height() * scale - 0.5) << scale;
            EXPECT_GE(r.width(), item.least.width()) << scale;
            for (const DesignItem &child : item.children)
                check(child);
        };
        check(page);
        // The row keeps its order: the field stays right of its label.
        const DesignItem &group = page.children[0];
        EXPECT_GE(group.children[1].result.x(), group.children[0].result.right() + 1) << scale;
    }
}

TEST(DesignLayout, DevicePixelGrid)
{
    const std::pair<double, int> cases[]
        = { { 1.0, 1 }, { 1.25, 4 }, { 1.5, 2 }, { 1.75, 4 }, { 2.0, 1 }, { 2.5, 2 }, { 1.1, 8 } };
    for (const auto &[ratio, grid] : cases)
        EXPECT_EQ(vetu::DevicePixelGrid(ratio), grid) << ratio;
}
