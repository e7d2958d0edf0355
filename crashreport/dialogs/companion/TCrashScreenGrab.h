#pragma once
// The screenshot of a report, taken by the companion before its first window: the screen area of
// the program's windows (the monitors they lie on), or only the foreground window, with the
// focused control framed in red (two pixels, on its inner edge) and the cursor drawn in.

#include "CrashShowStep.h"
#include "ScreenshotImage.h"
#include "TCrashScreenSource.h"

#include <QImage>
#include <QRect>

namespace crashreport {

// The area to capture for the request, in desktop coordinates.
QRect CrashScreenshotArea(const TCrashShowRequest &request);

// Draws the focus frame and the cursor onto a picture of `area`.
void CrashDecorateScreenshot(QImage &image, const QRect &area, const TCrashShowRequest &request);

// Whether a grab was refused: no picture at all, the Wayland platform itself (it gives no screen
// without a portal), or, in a Wayland session, a picture that is black throughout (what XWayland
// gives for windows that are not its own).
bool CrashGrabRefused(const TCrashScreenSource &source, const QImage &picture);

// Grabs and decorates; a null image when the platform refuses to give the screen's pixels.
QImage CrashGrabScreen(const TCrashShowRequest &request, const TCrashScreenSource &source = CrashPlatformScreenSource());

// The warning given when the report goes on without its screenshot.
inline constexpr const char *ScreenshotRefusedWarning =
    "The screen could not be captured; the report goes on without a screenshot.";

TScreenshotImage CrashToScreenshotImage(const QImage &image);

} // namespace crashreport
