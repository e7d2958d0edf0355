#include "Windows1252.h"

#include "IniFile.h"

#include <array>

namespace vetu {

namespace {

// Characters of the bytes 0x80 to 0x9F. The bytes that have no character map to the
// control character of the same number.
constexpr std::array<char16_t, 32> HighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

} // namespace

QString DecodeWindows1252(const char *data, qsizetype size)
{
    QString text(size, Qt::Uninitialized);
    QChar *out = text.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<unsigned char>(data[i]);
        out[i] = (byte >= 0x80 && byte <= 0x9F) ? QChar(HighControlRange[byte - 0x80]) : QChar(byte);
    }
    return text;
}

QString DecodeWindows1252(const QByteArray &bytes)
{
    return DecodeWindows1252(bytes.constData(), bytes.size());
}

int Windows1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (std::size_t i = 0; i < HighControlRange.size(); ++i) {
        if (HighControlRange[i] == c)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

QByteArray EncodeWindows1252(const QString &text)
{
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char *out = bytes.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int byte = Windows1252Byte(text.at(i).unicode());
        out[i] = static_cast<char>(byte < 0 ? '?' : byte);
    }
    return bytes;
}

bool IsWindows1252Encodable(const QString &text)
{
    for (const QChar c : text) {
        if (Windows1252Byte(c.unicode()) < 0)
            return false;
    }
    return true;
}

} // namespace vetu
