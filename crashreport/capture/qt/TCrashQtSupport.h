#pragma once
// Connects the crash-report core to a running QApplication for as long as it lives: the GUI
// thread's event loop while a report waits, the focus and window snapshot, the screen, the main
// window's answer for the freeze watchdog, and the dialogs of a report, shown by the companion
// program "crashreport-dialog" (one is started ahead of need where windows can be shown).
// TCrashApplication holds one; a program with its own application class may hold one itself.

#include <memory>

class QApplication;
class TCrashQtToolkit;
namespace crashreport
{
class TCrashDialogPresenter;
}

class TCrashQtSupport
{
public:
    explicit TCrashQtSupport(QApplication &application);
    ~TCrashQtSupport();
    TCrashQtSupport(const TCrashQtSupport &) = delete;
    TCrashQtSupport &operator=(const TCrashQtSupport &) = delete;

private:
    TCrashQtToolkit *m_toolkit;
    std::unique_ptr<crashreport::TCrashDialogPresenter> m_presenter;
};
