#include "CrashBugId.h"

#include <cstdio>

namespace crashreport
{

std::uint16_t CrashCrc16(std::string_view bytes)
{
    std::uint16_t crc = 0;
    for (const char ch : bytes) {
        crc ^= static_cast<std::uint16_t>(static_cast<unsigned char>(ch)) << 8;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021)
                                 : static_cast<std::uint16_t>(crc << 1);
    }
    return crc;
}

std::string CrashBugIdText(std::uint16_t crc)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(crc));
    return text;
}

std::string CrashBugIdSource(const std::string &moduleItem, const std::string &exceptModuleName,
    const std::string &className, const TCrashStackList &stack)
{
    std::string text = moduleItem + exceptModuleName + className;
    if (stack.empty())
        return text;
    const std::uint64_t thread = stack[0].threadId;
    for (const auto &entry : stack) {
        if (entry->kind != StackKindLine || entry->threadId != thread
            || entry->groupKind != stack[0].groupKind)
            continue;
        text += entry->unitName + entry->className + entry->procedureName + std::to_string(entry->lineOffset);
    }
    return text;
}

std::string CrashBugId(const std::string &moduleItem, const std::string &exceptModuleName,
    const std::string &className, const TCrashStackList &stack)
{
    return CrashBugIdText(CrashCrc16(CrashBugIdSource(moduleItem, exceptModuleName, className, stack)));
}

} // namespace crashreport
