#pragma once
// Connects the crash-report core to a running QApplication for as long as it lives: the GUI
// thread's event loop while a report waits, the focus snapshot, the screen, and the main
// window's answer for the freeze watchdog. TCrashApplication holds one; a program with its own
// application class may hold one itself.

class QApplication;
class TCrashQtToolkit;

class TCrashQtSupport
{
public:
    explicit TCrashQtSupport(QApplication &application);
    ~TCrashQtSupport();
    TCrashQtSupport(const TCrashQtSupport &) = delete;
    TCrashQtSupport &operator=(const TCrashQtSupport &) = delete;

private:
    TCrashQtToolkit *m_toolkit;
};
