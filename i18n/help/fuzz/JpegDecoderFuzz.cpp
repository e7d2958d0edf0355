// libFuzzer target: DecodeJpeg on arbitrary bytes must return, never end the process, and give
// either a null image or one of sane size.
#include "JpegDecoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QImage image = vetu::DecodeJpeg(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!image.isNull() && (image.width() <= 0 || image.height() <= 0))
        std::abort();
    return 0;
}
