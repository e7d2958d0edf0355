#include "CrashDialogRules.h"

#include "CrashTexts.h"

namespace crashreport {

TCrashDialogOffer CrashDialogOffer(const TCrashShowRequest &r)
{
    TCrashDialogOffer o;
    o.send = r.sendConfigured && !r.duplicate && (r.dialogFlags & dfOfferSend);
    o.screenshot = r.screenshotRequested && o.send && (r.dialogFlags & dfOfferScreenshot);
    o.copy = r.dialogFlags & dfShowCopy;
    o.supportLink = !CrashTrim(r.supportLink).empty();
    o.terminate = r.terminateAction != 0 && r.reportsBeforeTerminate < r.errorCount;
    if ((o.send && o.screenshot) || (o.copy && o.supportLink))
        o.bottomBand = 34;
    else if (o.send || o.screenshot || o.copy || o.supportLink)
        o.bottomBand = 20;
    return o;
}

std::vector<TCrashPage> CrashDialogTabs(std::uint8_t logSections)
{
    std::vector<TCrashPage> tabs{TCrashPage::General, TCrashPage::CallStack};
    if (logSections & 0x10) {
        tabs.push_back(TCrashPage::Modules);
        tabs.push_back(TCrashPage::Processes);
    }
    if (logSections & 0x20) {
        tabs.push_back(TCrashPage::Assembler);
        tabs.push_back(TCrashPage::CPU);
    }
    return tabs;
}

int CrashFirstTabIndex(int firstTab, const std::vector<TCrashPage> &tabs)
{
    for (std::size_t i = 0; i < tabs.size(); ++i)
        if (static_cast<int>(tabs[i]) == firstTab)
            return static_cast<int>(i);
    return 0;
}

std::string CrashText(const TCrashShowRequest &r, int id)
{
    if (id >= 0 && static_cast<std::size_t>(id) < r.texts.size() && !r.texts[id].empty())
        return r.texts[id];
    if (id >= 0 && static_cast<std::size_t>(id) < CrashTextCount)
        return std::string(DefaultCrashTexts()[id]);
    return {};
}

std::string CrashTrim(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

TCrashEmailCheck CrashCheckEmail(const std::string &trimmed)
{
    if (trimmed.empty())
        return TCrashEmailCheck::Empty;
    if (trimmed.find('@') != std::string::npos && trimmed.find('.') != std::string::npos)
        return TCrashEmailCheck::Valid;
    return TCrashEmailCheck::Invalid;
}

bool CrashRequestDialogFollows(const TCrashShowRequest &r, int styleAtStart, bool sendRequested)
{
    return styleAtStart == 3 && (r.logSections & 0x02) && !r.duplicate && (sendRequested || r.keepLogFile);
}

} // namespace crashreport
