#include "JpegDecoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace vetu {
namespace {

// libjpeg's default error handler calls exit(); this one jumps back into DecodeJpeg instead.
// Warnings (recoverable corruption) are treated as errors as well, so that a damaged
// picture never shows half-decoded garbage.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void JumpOnError(j_common_ptr info)
{
    auto *manager = reinterpret_cast<ErrorManager *>(info->err);
    std::longjmp(manager->jump, 1);
}

void JumpOnWarning(j_common_ptr info, int level)
{
    if (level < 0)
        JumpOnError(info);
}

void IgnoreOutput(j_common_ptr) {}

constexpr quint64 MaxPixels = 16 * 1024 * 1024;

// Everything that must survive the longjmp lives outside the function that calls setjmp.
struct DecodeState {
    jpeg_decompress_struct info {};
    ErrorManager errors {};
    QImage image;
};

bool Decode(DecodeState &state, const QByteArray &bytes)
{
    state.info.err = jpeg_std_error(&state.errors.base);
    state.errors.base.error_exit = JumpOnError;
    state.errors.base.emit_message = JumpOnWarning;
    state.errors.base.output_message = IgnoreOutput;
    if (setjmp(state.errors.jump))
        return false;

    jpeg_create_decompress(&state.info);
    jpeg_mem_src(&state.info, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&state.info, TRUE);
    // A damaged header can claim a picture of gigabytes; refuse it before anything is allocated.
    if (quint64(state.info.image_width) * state.info.image_height > MaxPixels)
        return false;
    state.info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&state.info);
    if (state.info.output_components != 3)
        return false;

    state.image = QImage(int(state.info.output_width), int(state.info.output_height), QImage::Format_RGB888);
    if (state.image.isNull())
        return false;
    while (state.info.output_scanline < state.info.output_height) {
        JSAMPROW row = state.image.scanLine(int(state.info.output_scanline));
        jpeg_read_scanlines(&state.info, &row, 1);
    }
    jpeg_finish_decompress(&state.info);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QImage();
    DecodeState state;
    const bool ok = Decode(state, bytes);
    jpeg_destroy_decompress(&state.info);
    if (!ok)
        return QImage();
    return state.image.convertToFormat(QImage::Format_RGB32);
}

} // namespace vetu
