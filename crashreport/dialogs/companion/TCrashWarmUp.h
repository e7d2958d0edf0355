#pragma once
// What a companion started ahead of need does while it waits: builds the detailed dialog once,
// off screen, and paints it into a picture, so that the style, the fonts (fontconfig), the glyph
// caches and the icons are loaded before a report comes rather than after.

namespace crashreport {

void CrashWarmUpDialogs();

} // namespace crashreport
