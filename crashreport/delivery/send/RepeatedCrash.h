#pragma once
// The repeated-crash check of the after-send steps: the RepeatList ("yyyy-mm-dd hh:nn:ss" lines,
// oldest first) is full and its first and last reports lie at most RepeatMinutes apart.

#include <cstdint>
#include <string>
#include <vector>

namespace crashreport
{

bool isRepeatedCrash(
    const std::vector<std::string> &repeatList, std::uint32_t repeatLimit, std::uint32_t repeatMinutes);

} // namespace crashreport
