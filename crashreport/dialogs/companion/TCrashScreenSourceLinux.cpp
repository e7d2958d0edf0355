#include "TCrashScreenSource.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdlib>
#include <cstring>

namespace crashreport {

namespace {

class LinuxScreenSource final : public TCrashScreenSource {
public:
    QString platformName() const override { return QGuiApplication::platformName(); }

    bool waylandSession() const override
    {
        const char *display = std::getenv("WAYLAND_DISPLAY");
        const char *session = std::getenv("XDG_SESSION_TYPE");
        return (display && *display) || (session && std::strcmp(session, "wayland") == 0);
    }

    QImage grab(const QRect &area) const override
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return {};
        // grabWindow(0) takes the whole virtual desktop; coordinates are relative to this screen.
        const QPoint origin = screen->geometry().topLeft();
        const QPixmap pixmap = screen->grabWindow(0, area.x() - origin.x(), area.y() - origin.y(), area.width(), area.height());
        return pixmap.isNull() ? QImage() : pixmap.toImage();
    }
};

} // namespace

const TCrashScreenSource &CrashPlatformScreenSource()
{
    static const LinuxScreenSource source;
    return source;
}

} // namespace crashreport
