#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace crashreport {

inline constexpr std::size_t CrashTextCount = 158;

// The default English texts of the crash-report library, by text id.
const std::array<std::string_view, CrashTextCount> &DefaultCrashTexts();

} // namespace crashreport
