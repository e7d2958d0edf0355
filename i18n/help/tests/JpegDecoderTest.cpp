#include "JpegDecoder.h"

#include <QFile>

#include <gtest/gtest.h>

#include <random>

namespace {

QByteArray InfoPicture()
{
    QFile file(QStringLiteral(INFO_JPEG_PATH));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

TEST(JpegDecoderTest, DecodesTheInfoPictureInColour)
{
    const QByteArray bytes = InfoPicture();
    ASSERT_FALSE(bytes.isEmpty());
    const QImage image = vetu::DecodeJpeg(bytes);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(181, 106));
    EXPECT_FALSE(image.allGray());
    // The top is light sky, the bottom dark water.
    EXPECT_GT(qGray(image.pixel(2, 2)), 180);
    EXPECT_LT(qGray(image.pixel(2, 103)), 100);
    EXPECT_GT(qBlue(image.pixel(2, 103)), qRed(image.pixel(2, 103)));
}

TEST(JpegDecoderTest, BrokenDataGivesANullImage)
{
    const QByteArray bytes = InfoPicture();
    ASSERT_FALSE(bytes.isEmpty());
    const QByteArray cases[] = {
        QByteArray(),
        QByteArray("not a picture"),
        QByteArray("\xFF\xD8", 2),
        QByteArray("\xFF\xD8\xFF\xD9", 4),
        bytes.left(20),
        bytes.left(bytes.size() / 2),
        bytes.left(bytes.size() - 2),
        QByteArray(bytes).replace(0, 2, "PK"),
    };
    for (const QByteArray &data : cases)
        EXPECT_TRUE(vetu::DecodeJpeg(data).isNull()) << data.size() << " bytes";
}

TEST(JpegDecoderTest, EveryTruncationAndDamageIsSurvived)
{
    const QByteArray bytes = InfoPicture();
    ASSERT_FALSE(bytes.isEmpty());
    // Every cut must come back as a null image or, for cuts inside the end marker, the picture.
    for (qsizetype length = 0; length < bytes.size(); ++length) {
        const QImage image = vetu::DecodeJpeg(bytes.left(length));
        EXPECT_TRUE(image.isNull() || image.size() == QSize(181, 106)) << length;
    }
    std::mt19937 random(1234);
    std::uniform_int_distribution<qsizetype> position(0, bytes.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int round = 0; round < 2000; ++round) {
        QByteArray damaged = bytes;
        for (int i = 0; i < 4; ++i)
            damaged[position(random)] = char(value(random));
        const QImage image = vetu::DecodeJpeg(damaged);
        if (!image.isNull()) {
            EXPECT_GT(image.width() * image.height(), 0);
        }
    }
}

} // namespace
