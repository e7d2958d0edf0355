#include "CrashDialogAnswers.h"

#include "TCrashReportBuilder.h"
#include "TLogItem.h"

namespace crashreport {

std::string CrashReproduceSection(const std::string &title, const std::string &text)
{
    if (text.empty())
        return {};
    TLogItem log(7); // the general part holds sections 1 to 7
    log.addSection(title);
    log.addItem(title, text);
    return log.text();
}

void CrashReplaceUserEmail(std::string &text, const std::string &email)
{
    static const std::string item = "  3.3 ";
    std::size_t at = 0;
    while ((at = text.find(item, at)) != std::string::npos) {
        if (at != 0 && text[at - 1] != '\n') {
            at += item.size();
            continue;
        }
        const std::size_t end = text.find("\r\n", at);
        const std::size_t lineEnd = end == std::string::npos ? text.size() : end;
        const std::size_t colon = text.find(": ", at);
        if (colon != std::string::npos && colon < lineEnd)
            text.replace(colon + 2, lineEnd - colon - 2, email);
        return; // one user section per report
    }
}

void CrashApplyDialogAnswers(CrashReportText &report, const TCrashShowResult &result, const std::string &requestTitle)
{
    if (!result.emailAddress.empty()) {
        CrashReplaceUserEmail(report.report, result.emailAddress);
        CrashReplaceUserEmail(report.general, result.emailAddress);
    }
    insertSectionAfterGeneral(report, CrashReproduceSection(requestTitle, result.reproduceText));
}

} // namespace crashreport
