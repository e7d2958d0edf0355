#pragma once
// The screenshot of a report, taken by the companion before its first window: the screen area of
// the program's windows (the monitors they lie on), or only the foreground window, with the
// focused control framed in red (two pixels, on its inner edge) and the cursor drawn in.

#include "CrashShowStep.h"
#include "ScreenshotImage.h"

#include <QImage>
#include <QRect>

namespace crashreport {

// The area to capture for the request, in desktop coordinates.
QRect CrashScreenshotArea(const TCrashShowRequest &request);

// Draws the focus frame and the cursor onto a picture of `area`.
void CrashDecorateScreenshot(QImage &image, const QRect &area, const TCrashShowRequest &request);

// Grabs and decorates; a null image when the platform refuses to give the screen's pixels.
QImage CrashGrabScreen(const TCrashShowRequest &request);

TScreenshotImage CrashToScreenshotImage(const QImage &image);

} // namespace crashreport
