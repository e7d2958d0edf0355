#pragma once
// Start-up figures for benchmarks: when the environment variable CRASHREPORT_STARTUP_FIGURES is
// set, prints "crash-init-ns <n>" (how long "CrashReport.Init" took) and, at the first paint of
// any window, "painted <CPU milliseconds>" on standard output. Nothing happens otherwise.

#include <QObject>

class TCrashStartupFigures : public QObject
{
public:
    // Installs itself on the application when the variable is set; returns nullptr otherwise.
    static TCrashStartupFigures *installIfWanted(QObject *application);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit TCrashStartupFigures(QObject *application);
    bool m_seen = false;
};
