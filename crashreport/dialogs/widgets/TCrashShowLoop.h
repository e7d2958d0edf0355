#pragma once
// The show step inside the companion: message box (1), classic (2) or detailed (3) dialog, the
// hand-over from classic to detailed, the message box in place of a dialog that never painted,
// the terminate question to the listeners (action 8, a cleared flag shows the dialog again) and
// the request for the steps to reproduce.

#include "CrashShowStep.h"
#include "TCrashDialogHooks.h"
#include "TCrashShowState.h"

#include <functional>
#include <string>

class QWidget;

namespace crashreport {

class TCrashShowLoop {
public:
    TCrashShowLoop(const TCrashShowRequest &request, TCrashDialogHooks hooks, std::string settingsPath);

    TCrashShowResult run();
    const TCrashShowState &state() const { return m_state; }

    // Called with every dialog just before it runs (tests drive it from here).
    std::function<void(QWidget *)> onDialog;

private:
    bool runDialog(int style);
    void runMessageBox();

    const TCrashShowRequest &m_request;
    TCrashDialogHooks m_hooks;
    std::string m_settingsPath;
    TCrashShowState m_state;
};

} // namespace crashreport
