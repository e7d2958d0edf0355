#pragma once
// What a dialog reports to the program while it is open (the companion forwards it over the
// channel; tests answer directly).

#include <functional>

namespace crashreport {

struct TCrashDialogHooks {
    std::function<void()> painted;                  // the first paint of any dialog
    std::function<bool()> customButton;             // true: the listener asks to close
    std::function<bool(int action, bool flag)> action; // CrashReport_ExceptionActionNotifyEvent
};

} // namespace crashreport
