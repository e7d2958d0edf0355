#include "TCrashScreenGrab.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace crashreport {

namespace {

QRect toRect(const TCrashShowRect &r)
{
    return QRect(r.left, r.top, r.width, r.height);
}

QRect desktopRect()
{
    QScreen *primary = QGuiApplication::primaryScreen();
    return primary ? primary->virtualGeometry() : QRect(0, 0, 1, 1);
}

QScreen *nearestScreen(const QPoint &point)
{
    QScreen *best = nullptr;
    qint64 bestDistance = -1;
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const int dx = point.x() < g.left() ? g.left() - point.x() : point.x() > g.right() ? point.x() - g.right() : 0;
        const int dy = point.y() < g.top() ? g.top() - point.y() : point.y() > g.bottom() ? point.y() - g.bottom() : 0;
        const qint64 d = qint64(dx) * dx + qint64(dy) * dy;
        if (!best || d < bestDistance) {
            best = screen;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace

QRect CrashScreenshotArea(const TCrashShowRequest &request)
{
    QRect area;
    if (request.screenshotForegroundOnly) {
        area = toRect(request.foregroundWindow);
        if (area.width() <= 0 || area.height() <= 0)
            area = desktopRect();
    } else {
        QRect bounds;
        for (const TCrashShowRect &w : request.topLevelWindows)
            if (w.width > 0)
                bounds = bounds.united(toRect(w));
        QScreen *first = bounds.isValid() ? nearestScreen(bounds.topLeft()) : nullptr;
        QScreen *last = bounds.isValid() ? nearestScreen(bounds.bottomRight()) : nullptr;
        if (first && last)
            area = QRect(first->geometry().topLeft(), last->geometry().bottomRight());
        else
            area = desktopRect();
    }
    // A zero width or height becomes one pixel.
    area.setWidth(std::max(1, area.width()));
    area.setHeight(std::max(1, area.height()));
    return area;
}

void CrashDecorateScreenshot(QImage &image, const QRect &area, const TCrashShowRequest &request)
{
    QPainter p(&image);
    if (request.hasFocusRect && request.focusRect.width > 0 && request.focusRect.height > 0) {
        const QRect focus = toRect(request.focusRect).translated(-area.topLeft());
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::NoBrush);
        const QColor red(255, 0, 0);
        for (const QRect &r : {focus, focus.adjusted(1, 1, -1, -1)}) {
            p.fillRect(QRect(r.left(), r.top(), r.width(), 1), red);
            p.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), red);
            p.fillRect(QRect(r.left(), r.top(), 1, r.height()), red);
            p.fillRect(QRect(r.right(), r.top(), 1, r.height()), red);
        }
    }
    if (request.cursorX >= 0 && request.cursorY >= 0) {
        // The standard arrow, hot spot at its tip, in a 32 x 32 cell.
        const QPoint at = QPoint(request.cursorX, request.cursorY) - area.topLeft();
        QPainterPath arrow;
        arrow.moveTo(0, 0);
        arrow.lineTo(0, 17);
        arrow.lineTo(4, 13);
        arrow.lineTo(7, 20);
        arrow.lineTo(10, 19);
        arrow.lineTo(7, 12);
        arrow.lineTo(12, 12);
        arrow.closeSubpath();
        p.translate(at);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawPath(arrow);
    }
}

bool CrashGrabRefused(const TCrashScreenSource &source, const QImage &picture)
{
    if (picture.isNull() || source.platformName() == QLatin1String("wayland"))
        return true;
    if (!source.waylandSession())
        return false;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            if ((line[x] & 0xFFFFFF) != 0)
                return false;
    }
    return true;
}

QImage CrashGrabScreen(const TCrashShowRequest &request, const TCrashScreenSource &source)
{
    if (source.platformName() == QLatin1String("wayland"))
        return {}; // no grab without a portal: do not even ask
    const QRect area = CrashScreenshotArea(request);
    const QImage picture = source.grab(area);
    if (CrashGrabRefused(source, picture))
        return {};
    QImage image = picture.convertToFormat(QImage::Format_RGB32);
    CrashDecorateScreenshot(image, area, request);
    return image;
}

TScreenshotImage CrashToScreenshotImage(const QImage &source)
{
    TScreenshotImage out;
    if (source.isNull())
        return out;
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    out.width = image.width();
    out.height = image.height();
    out.pixels.reserve(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            out.pixels.push_back(line[x] & 0xFFFFFF);
    }
    return out;
}

} // namespace crashreport
