#pragma once
// The English texts the report uses, for tests that need real captions.

#include "ReportTexts.h"

#include <map>
#include <string>

namespace crashreport::testing {

class EnglishTexts final : public ReportTexts {
public:
    std::string text(int id) const override
    {
        static const std::map<int, std::string> texts = {
        { 4, "An error has occurred during program execution.\r\nPlease read the following information for further details." },
        { 8, "Call Stack Information" },
        { 10, "Modules Information" },
        { 12, "Processes Information" },
        { 14, "Assembler Information" },
        { 37, "Application" },
        { 38, "Start Date" },
        { 39, "Name/Description" },
        { 40, "Version Number" },
        { 41, "Parameters" },
        { 42, "Compilation Date" },
        { 43, "Up Time" },
        { 44, "Exception" },
        { 45, "Date" },
        { 46, "Address" },
        { 47, "Module Name" },
        { 48, "Module Version" },
        { 49, "Type" },
        { 50, "Message" },
        { 51, "ID" },
        { 52, "Count" },
        { 53, "Status" },
        { 54, "Note" },
        { 55, "User" },
        { 56, "ID" },
        { 57, "Name" },
        { 58, "Email" },
        { 59, "Company" },
        { 60, "Privileges" },
        { 61, "Active Controls" },
        { 62, "Form Class" },
        { 63, "Form Text" },
        { 64, "Control Class" },
        { 65, "Control Text" },
        { 66, "Computer" },
        { 67, "Name" },
        { 68, "Total Memory" },
        { 69, "Free Memory" },
        { 70, "Total Disk" },
        { 71, "Free Disk" },
        { 72, "System Up Time" },
        { 73, "Processor" },
        { 74, "Display Mode" },
        { 75, "Display DPI" },
        { 76, "Video Card" },
        { 77, "Printer" },
        { 78, "Operating System" },
        { 79, "Type" },
        { 80, "Build #" },
        { 81, "Update" },
        { 82, "Language" },
        { 83, "Charset" },
        { 84, "Network" },
        { 85, "IP Address" },
        { 86, "Submask" },
        { 87, "Gateway" },
        { 88, "DNS 1" },
        { 89, "DNS 2" },
        { 90, "DHCP" },
        { 91, "Custom Information" },
        { 92, "Address" },
        { 93, "Module" },
        { 94, "Unit" },
        { 95, "Class" },
        { 96, "Procedure/Method" },
        { 97, "Line" },
        { 98, "Main" },
        { 99, "Exception Thread" },
        { 100, "Running Thread" },
        { 101, "Calling Thread" },
        { 102, "ID" },
        { 103, "Priority" },
        { 104, "Class" },
        { 123, "Request" },
        { 126, "Handle" },
        { 127, "Name" },
        { 128, "Description" },
        { 129, "Version" },
        { 130, "Size" },
        { 131, "Modified" },
        { 132, "Path" },
        { 133, "ID" },
        { 134, "Name" },
        { 135, "Description" },
        { 136, "Version" },
        { 137, "Memory" },
        { 138, "Priority" },
        { 139, "Threads" },
        { 140, "Path" },
        { 141, "Registers" },
        { 142, "Stack" },
        { 143, "Memory Dump" },
        };
        const auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
};

} // namespace crashreport::testing
