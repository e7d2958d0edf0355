#include "IniFile.h"
#include "TestPrinters.h"
#include "Windows1252.h"

#include <gtest/gtest.h>

using namespace vetu;

TEST(Windows1252, EveryByteSurvivesDecodeAndEncode)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = DecodeWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(EncodeWindows1252(text), all);
    EXPECT_TRUE(IsWindows1252Encodable(text));
}

TEST(Windows1252, CharactersAndTheirBytes)
{
    struct Case {
        char16_t character;
        int byte; // -1: no byte
    };
    const Case cases[] = {
        {u'A', 0x41},
        {0x00E4, 0xE4}, // a umlaut
        {0x00DF, 0xDF}, // sharp s
        {0x00A0, 0xA0},
        {0x20AC, 0x80}, // euro sign
        {0x201A, 0x82},
        {0x0152, 0x8C},
        {0x017D, 0x8E},
        {0x2018, 0x91},
        {0x2122, 0x99},
        {0x0178, 0x9F},
        // The five bytes without a character round-trip through their control characters.
        {0x0081, 0x81},
        {0x008D, 0x8D},
        {0x008F, 0x8F},
        {0x0090, 0x90},
        {0x009D, 0x9D},
        // Control characters whose byte holds another character have no byte.
        {0x0080, -1},
        {0x0082, -1},
        {0x009F, -1},
        {0x0100, -1},
        {0x03A9, -1}, // Greek omega
        {0x20AD, -1},
        {0xD83D, -1}, // half of a surrogate pair
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.character));
        EXPECT_EQ(Windows1252Byte(c.character), c.byte);
        const QString text(QChar(c.character));
        EXPECT_EQ(IsWindows1252Encodable(text), c.byte >= 0);
        EXPECT_EQ(EncodeWindows1252(text), QByteArray(1, static_cast<char>(c.byte >= 0 ? c.byte : '?')));
        if (c.byte >= 0) {
            EXPECT_EQ(DecodeWindows1252(QByteArray(1, static_cast<char>(c.byte))), text);
        }
    }
}

TEST(Windows1252, EncodableTexts)
{
    EXPECT_TRUE(IsWindows1252Encodable(QString()));
    EXPECT_TRUE(IsWindows1252Encodable(QStringLiteral("Meßflügel Nº 3 – 0,25 €")));
    EXPECT_FALSE(IsWindows1252Encodable(QStringLiteral("Meter \u0141")));
    EXPECT_FALSE(IsWindows1252Encodable(QStringLiteral("smile \U0001F600")));
    EXPECT_EQ(EncodeWindows1252(QStringLiteral("a\u0141b")), QByteArray("a?b"));
}
