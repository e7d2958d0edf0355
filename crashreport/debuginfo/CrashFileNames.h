#pragma once
// Parts of a module's or process's file name, as the crash report lists them.

#include <string>
#include <string_view>

namespace crashreport
{

// The file name without its folder.
std::string CrashFileBaseName(std::string_view path);
// The folder without the final '/' ("/" for a file in the root, "" without any folder).
std::string CrashFileFolder(const std::string &path);
// The version a shared library's file name carries ("libfoo.so.6.4.2" gives "6.4.2"); empty when
// the name has none or it is not made of dot-separated numbers.
std::string CrashVersionFromFileName(const std::string &path);

} // namespace crashreport
