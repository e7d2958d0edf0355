#pragma once
// Reading a stored report: its numbered items and its parts.

#include <optional>
#include <string>
#include <vector>

namespace crashreport {

// The value of item "h.i" in a report, or nothing when the report has no such item line.
// Continuation lines are joined with CR LF, ":_" is read back as ": " and "." lines as empty.
std::optional<std::string> readReportItem(const std::string &report, const std::string &itemNumber);

// Replaces the value of item "h.i". When the report has no such item but has section h, a new
// item line with that number and the label given is added at the end of the section, its colon
// aligned with the others. False when neither is possible.
bool replaceReportItem(std::string &report, const std::string &itemNumber, const std::string &value,
                       const std::string &label = {});

// The parts of a report; their concatenation is the report (without the log's closing line
// breaks).
struct ReportParts {
    std::string general; // header line and numbered sections, ending with a line break
    std::string callStack;
    std::string modules;
    std::string processes;
    std::string assembler;
    std::string cpu;
    std::string custom;
};
ReportParts splitReportParts(const std::string &report);

// One item line of the general part.
struct ReportItem {
    std::string number; // "1.3"
    std::string label;  // "Version Number"
    std::string value;
};
struct ReportSection {
    std::string name;
    std::vector<ReportItem> items;
};
// The numbered sections of a text (general or custom part).
std::vector<ReportSection> parseReportSections(const std::string &text);

} // namespace crashreport
