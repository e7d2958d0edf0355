#pragma once

#include <QByteArray>
#include <QImage>

namespace vetu {

// Decodes a baseline or progressive JPEG picture with libjpeg into an RGB32 image.
// Corrupt, truncated or empty data gives a null image; the process is never ended.
QImage DecodeJpeg(const QByteArray &bytes);

} // namespace vetu
