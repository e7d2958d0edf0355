#pragma once

#include <string>
#include <string_view>

namespace crashreport {

// Rewrites every lone CR and every lone LF as CR LF; a text without any lone
// line-break character comes back unchanged.
std::string NormalizeLineBreaks(std::string_view text);

} // namespace crashreport
