#pragma once
// Where the companion's screenshot comes from: the platform's screen grab. The one
// implementation for Linux is in TCrashScreenSourceLinux.cpp; tests give their own.

#include <QImage>
#include <QRect>
#include <QString>

namespace crashreport {

class TCrashScreenSource {
public:
    virtual ~TCrashScreenSource() = default;
    // Qt's platform plugin ("xcb", "wayland", ...).
    virtual QString platformName() const = 0;
    // True inside a Wayland session, also for a program that runs on XWayland.
    virtual bool waylandSession() const = 0;
    // The pixels of `area` in desktop coordinates; a null image when the platform gives none.
    virtual QImage grab(const QRect &area) const = 0;
};

const TCrashScreenSource &CrashPlatformScreenSource();

} // namespace crashreport
