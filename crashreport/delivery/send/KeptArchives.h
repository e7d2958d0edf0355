#pragma once
// Archives of failed sends kept beside the log file (Behaviour 0x20): at most MaxKeptArchives
// "*.zip" files stay in that folder, the first ones in name order being deleted.

#include <cstddef>
#include <string>

namespace crashreport
{

inline constexpr std::size_t MaxKeptArchives = 10;

// Moves the archive into folder under keptName (replacing a file of that name), then deletes the
// oldest archives. False when the archive could not be moved; never throws.
bool keepFailedArchive(const std::string &archivePath, const std::string &folder, const std::string &keptName,
    std::string &error);

} // namespace crashreport
