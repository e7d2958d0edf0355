#pragma once
// Encoding and saving the screenshot of a report.

#include "ScreenshotImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace crashreport {

inline constexpr const char *ScreenshotFileName = "Screenshot.png";

// The picture reduced to at most 256 colours and encoded as a palette PNG (empty: invalid image).
std::vector<std::uint8_t> EncodeScreenshotPng(const TScreenshotImage &image);

// Encodes the picture and saves it to `path`. An empty path does nothing; a failure to save is
// swallowed (no partial file is left behind) and answered with false.
bool WriteScreenshotFile(const std::string &path, const TScreenshotImage &image);

// "<temporary folder>/Screenshot.png" when SendFlags asks for a screenshot (0x10), else empty.
std::string ScreenshotFilePath(const std::string &tempFolder, std::uint32_t sendFlags);

} // namespace crashreport
