// libFuzzer target: a log file of any bytes is split into reports, and every report is read,
// changed and converted the way the dialogs and the send flow use it.

#include "LogXml.h"
#include "ReportItems.h"
#include "TLogFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> reports = crashreport::TLogFile::splitLogText(text);
    for (std::string &report : reports) {
        (void)crashreport::readReportItem(report, "1.3");
        (void)crashreport::readReportItem(report, "2.10");
        const crashreport::ReportParts parts = crashreport::splitReportParts(report);
        (void)crashreport::parseReportSections(parts.general);
        crashreport::replaceReportItem(report, "3.3", "a: b\nc", "Email");
        crashreport::replaceReportItem(report, "2.6", "", "Message");
    }
    (void)crashreport::logToXml(reports);
    // The text read from a log, once more, must not grow or crash either.
    (void)crashreport::splitReportParts(text);
    return 0;
}
