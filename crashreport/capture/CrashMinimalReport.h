#pragma once
// The minimal fatal report: what the fault handler writes when the fault cannot be turned into
// an exception (a stack overflow, code without unwind information, a fault inside the report
// itself). Everything here is async-signal-safe: fixed buffers prepared at start-up, no
// allocation, no locks; the stack is scanned for return addresses of the modules known at
// start-up and written as raw addresses with module and offset.
//
// The text is a well-formed report (header line, numbered items, a call-stack table), so that
// the log reader keeps it among the other reports.

#include <cstddef>
#include <cstdint>

namespace crashreport
{

struct TCrashMinimalModule {
    std::uint64_t base = 0; // lowest mapped address
    std::uint64_t codeStart = 0; // executable range
    std::uint64_t codeEnd = 0;
    char name[128] = {}; // file name without folder
};

inline constexpr std::size_t MinimalModulesMax = 512;
inline constexpr std::size_t MinimalFramesMax = 64;

struct TCrashMinimalFacts {
    const char *className = "";
    const char *message = "";
    std::uint64_t address = 0;
    const std::uint64_t *stack = nullptr; // the stack values from the stack pointer upwards
    std::size_t stackValues = 0;
};

// A fixed text buffer (async-signal-safe appends; the end is cut when it is full).
class TCrashFixedText
{
public:
    TCrashFixedText(char *buffer, std::size_t capacity)
        : m_buffer(buffer)
        , m_capacity(capacity)
    {
    }
    void add(const char *text);
    void add(const char *text, std::size_t length);
    void addHex(std::uint64_t value, int digits = 16);
    void addDecimal(std::uint64_t value);
    void pad(std::size_t column); // spaces up to the column of the current line
    std::size_t length() const { return m_length; }
    const char *data() const { return m_buffer; }

private:
    char *m_buffer;
    std::size_t m_capacity;
    std::size_t m_length = 0;
    std::size_t m_lineStart = 0;
};

// The module table (filled at start-up; refreshed when a report was made outside a fault).
void CrashFillMinimalModules();
const TCrashMinimalModule *CrashFindMinimalModule(std::uint64_t address);

// Writes the report into text. programName: the program's file name.
void CrashFormatMinimalReport(
    TCrashFixedText &text, const char *programName, const TCrashMinimalFacts &facts);

} // namespace crashreport
