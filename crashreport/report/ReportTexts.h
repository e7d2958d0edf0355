#pragma once
// Access to the library's text table for the report builder. The report takes every heading and
// label from the options' texts by id, so it follows the configured language.

#include <string>

namespace crashreport {

// Text ids used by the report.
enum ReportTextId : int {
    TextIntroduction = 4,
    TextCallStackInformation = 8,
    TextModulesInformation = 10,
    TextProcessesInformation = 12,
    TextAssemblerInformation = 14,
    TextApplication = 37,   // section 1; its items are 38..43
    TextException = 44,     // section 2; items 45..54
    TextUser = 55,          // section 3; items 56..60
    TextActiveControls = 61, // section 4; items 62..65
    TextComputer = 66,      // section 5; items 67..77
    TextOperatingSystem = 78, // section 6; items 79..83
    TextNetwork = 84,       // section 7; items 85..90
    TextCustomInformation = 91,
    TextColumnAddress = 92, // call-stack columns 92..97
    TextMain = 98,
    TextExceptionThread = 99,
    TextRunningThread = 100,
    TextCallingThread = 101,
    TextThreadId = 102,
    TextThreadPriority = 103,
    TextThreadClass = 104,
    TextRequest = 123,
    TextColumnHandle = 126, // modules columns 126..132
    TextColumnProcessId = 133, // processes columns 133..140
    TextRegisters = 141,
    TextStack = 142,
    TextMemoryDump = 143,
};

// Gives the text of an id in the language in force.
class ReportTexts {
public:
    virtual ~ReportTexts() = default;
    virtual std::string text(int id) const = 0;
};

} // namespace crashreport
