#include "ScreenshotFile.h"

#include "OctreeQuantizer.h"
#include "PaletteMapper.h"
#include "PngWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace crashreport {

std::vector<std::uint8_t> EncodeScreenshotPng(const TScreenshotImage &image)
{
    if (!image.valid())
        return {};
    TOctreeQuantizer quantizer;
    quantizer.addImage(image);
    std::vector<TPaletteEntry> palette = quantizer.palette();
    TPaletteMapper mapper(palette);
    return EncodePalettePng(image.width, image.height, mapper.map(image), palette);
}

namespace {

bool writeAll(int fd, const std::vector<std::uint8_t> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool WriteScreenshotFile(const std::string &path, const TScreenshotImage &image)
{
    if (path.empty())
        return false;
    try {
        const std::vector<std::uint8_t> png = EncodeScreenshotPng(image);
        if (png.empty())
            return false;
        // Written beside the target and renamed over it, so a reader never sees half a file.
        const std::string temp = path + ".part";
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        const bool written = writeAll(fd, png) && ::fsync(fd) == 0;
        const bool closed = ::close(fd) == 0;
        if (!written || !closed || ::rename(temp.c_str(), path.c_str()) != 0) {
            ::unlink(temp.c_str());
            return false;
        }
        return true;
    } catch (...) {
        return false; // out of memory while encoding: the report goes on without a screenshot
    }
}

std::string ScreenshotFilePath(const std::string &tempFolder, std::uint32_t sendFlags)
{
    if (!(sendFlags & 0x10) || tempFolder.empty())
        return {};
    std::string folder = tempFolder;
    if (folder.back() != '/')
        folder += '/';
    return folder + ScreenshotFileName;
}

} // namespace crashreport
