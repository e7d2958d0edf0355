#pragma once

#include <QByteArray>
#include <QString>

namespace vetu {

// Single-byte Windows-1252 text. Decoding is a bijection on all 256 byte values: the five
// bytes without a character (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of
// the same number, so any byte sequence survives decode followed by encode unchanged.
QString DecodeWindows1252(const char *data, qsizetype size);
QString DecodeWindows1252(const QByteArray &bytes);

// Characters without a Windows-1252 byte are written as '?'.
QByteArray EncodeWindows1252(const QString &text);

// The byte of one character, or -1 when it has none.
int Windows1252Byte(char16_t c);

} // namespace vetu
