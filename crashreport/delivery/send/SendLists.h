#pragma once
// Lists kept in one option text (recipients, attached files): items separated by "," or ";",
// each trimmed of blanks, empty items skipped.

#include <string>
#include <string_view>
#include <vector>

namespace crashreport
{

std::vector<std::string> splitSendList(std::string_view text);

} // namespace crashreport
