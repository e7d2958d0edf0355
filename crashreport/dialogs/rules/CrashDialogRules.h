#pragma once
// What the dialogs offer and show for a request: plain rules, testable without a window.

#include "CrashShowStep.h"

#include <string>
#include <vector>

namespace crashreport {

enum TCrashDialogFlag : std::uint32_t {
    dfSendChecked = 0x001,
    dfScreenshotChecked = 0x002,
    dfShowCopy = 0x004,
    dfShowDetails = 0x008,
    dfOpenDetailed = 0x010,
    dfTopMost = 0x020,
    dfOwnLook = 0x040,
    dfOfferSend = 0x080,
    dfOfferScreenshot = 0x100,
    dfCustomButton = 0x200,
};

// The pages of the detailed dialog, by FirstTab number.
enum class TCrashPage { General = 0, CallStack = 1, Modules = 2, Processes = 3, Assembler = 4, CPU = 5 };

struct TCrashDialogOffer {
    bool send = false;
    bool screenshot = false;
    bool copy = false;
    bool supportLink = false;
    bool terminate = false; // the Terminate/Restart control
    int bottomBand = 0;     // 34, 20 or 0 pixels
};

TCrashDialogOffer CrashDialogOffer(const TCrashShowRequest &request);

// The tabs present, in order, for LogSections (0x10 modules and processes, 0x20 assembler and CPU).
std::vector<TCrashPage> CrashDialogTabs(std::uint8_t logSections);
// Index of the first tab for FirstTab: an absent page falls back to General (index 0).
int CrashFirstTabIndex(int firstTab, const std::vector<TCrashPage> &tabs);

// The options' text by id; the library's English default when the request carries none.
std::string CrashText(const TCrashShowRequest &request, int id);

// The classic dialog's e-mail rule: trimmed; valid when it holds an at sign and a full stop.
enum class TCrashEmailCheck { Empty, Valid, Invalid };
TCrashEmailCheck CrashCheckEmail(const std::string &trimmed);
std::string CrashTrim(const std::string &text);

// Whether the request dialog follows the show loop.
bool CrashRequestDialogFollows(const TCrashShowRequest &request, int styleAtStart, bool sendRequested);

} // namespace crashreport
