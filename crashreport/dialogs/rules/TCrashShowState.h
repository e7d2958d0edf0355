#pragma once
// The state one show step shares between its dialogs.

#include <string>

namespace crashreport {

struct TCrashShowState {
    int style = 0; // 0 none, 1 message box, 2 classic, 3 detailed
    bool sendRequested = false;
    bool screenshotRequested = false;
    bool copyRequested = false;
    bool terminateRequested = false;
    bool painted = false;
    bool detailedForced = false;
    std::string emailAddress;
    std::string reproduceText;
    bool reproduceGiven = false; // confirmed by the user in the classic or the request dialog
};

} // namespace crashreport
