// The screenshot's area, focus frame and cursor, on the offscreen platform's one screen.
#include "TCrashScreenGrab.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

using namespace crashreport;

TEST(ScreenGrabTest, AreaFollowsTheProgramsWindowsOrTheForegroundWindow)
{
    const QRect desktop = QGuiApplication::primaryScreen()->geometry();
    TCrashShowRequest r;
    EXPECT_EQ(CrashScreenshotArea(r), desktop) << "no window: the desktop";
    r.topLevelWindows = {{10, 10, 100, 50}, {0, 0, 0, 30}};
    EXPECT_EQ(CrashScreenshotArea(r), desktop) << "the monitors the windows lie on";
    r.screenshotForegroundOnly = true;
    r.foregroundWindow = {20, 30, 200, 0};
    EXPECT_EQ(CrashScreenshotArea(r), desktop) << "an empty foreground window: the desktop";
    r.foregroundWindow = {20, 30, 200, 100};
    EXPECT_EQ(CrashScreenshotArea(r), QRect(20, 30, 200, 100));
}

TEST(ScreenGrabTest, FocusFrameIsTwoRedPixelsOnTheInnerEdgeAndTheCursorIsDrawn)
{
    QImage image(100, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    TCrashShowRequest r;
    r.hasFocusRect = true;
    r.focusRect = {30, 25, 20, 10}; // desktop coordinates; the area starts at (10, 5)
    r.cursorX = 80;
    r.cursorY = 60;
    CrashDecorateScreenshot(image, QRect(10, 5, 100, 80), r);
    const QRgb red = qRgb(255, 0, 0);
    struct Px {
        int x, y;
        bool red;
    } pixels[] = {{20, 20, true}, {39, 29, true}, {21, 21, true}, {38, 28, true}, {22, 22, false},
                  {19, 20, false}, {40, 29, false}, {30, 24, false}, {21, 25, true}};
    for (const Px &p : pixels)
        EXPECT_EQ(image.pixel(p.x, p.y) == red, p.red) << p.x << "," << p.y;
    EXPECT_EQ(image.pixel(70, 55), qRgb(0, 0, 0)) << "the arrow's tip at the hot spot";
    EXPECT_EQ(image.pixel(71, 60), qRgb(255, 255, 255)) << "its white inside";
    EXPECT_EQ(image.pixel(69, 55), qRgb(255, 255, 255)) << "nothing left of the tip";
}

TEST(ScreenGrabTest, ConversionKeepsEveryPixel)
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(qRgba(1, 2, 3, 128));
    image.setPixel(2, 1, qRgb(250, 0, 7));
    const TScreenshotImage out = CrashToScreenshotImage(image);
    ASSERT_TRUE(out.valid());
    EXPECT_EQ(out.pixel(2, 1), 0xFA0007u);
    EXPECT_TRUE(CrashToScreenshotImage(QImage()).pixels.empty());
}

namespace {

// A platform that answers as told, standing in for the screen grab of the Linux source.
class FakeScreenSource final : public TCrashScreenSource {
public:
    FakeScreenSource(QString platform, bool wayland, QImage picture)
        : m_platform(std::move(platform)), m_wayland(wayland), m_picture(std::move(picture))
    {
    }
    QString platformName() const override { return m_platform; }
    bool waylandSession() const override { return m_wayland; }
    QImage grab(const QRect &) const override
    {
        ++grabs;
        return m_picture;
    }
    mutable int grabs = 0;

private:
    QString m_platform;
    bool m_wayland;
    QImage m_picture;
};

QImage filled(QRgb colour)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

TEST(ScreenGrabTest, ARefusedGrabGivesNoPicture)
{
    struct Case {
        const char *name;
        const char *platform;
        bool wayland;
        QImage picture;
        bool taken;
    } cases[] = {
        {"X11 picture", "xcb", false, filled(qRgb(10, 20, 30)), true},
        {"X11 black screen is a picture", "xcb", false, filled(qRgb(0, 0, 0)), true},
        {"XWayland black picture", "xcb", true, filled(qRgb(0, 0, 0)), false},
        {"XWayland real picture", "xcb", true, filled(qRgb(0, 0, 1)), true},
        {"native Wayland", "wayland", true, filled(qRgb(10, 20, 30)), false},
        {"no pixels", "xcb", false, QImage(), false},
    };
    TCrashShowRequest r;
    r.screenshotForegroundOnly = true;
    r.foregroundWindow = {0, 0, 40, 30};
    for (const Case &c : cases) {
        const FakeScreenSource source(c.platform, c.wayland, c.picture);
        const QImage image = CrashGrabScreen(r, source);
        EXPECT_EQ(!image.isNull(), c.taken) << c.name;
        if (c.platform == QString("wayland")) {
            EXPECT_EQ(source.grabs, 0) << "Wayland is not even asked";
        }
    }
}
