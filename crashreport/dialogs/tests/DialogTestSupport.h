#pragma once
// Helpers of the dialog tests: a request with a small report, a settings file in a fresh folder,
// and finding controls by name.

#include "CrashShowStep.h"
#include "CrashTempFolder.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

namespace crashreport::testing {

inline TCrashShowRequest SampleRequest()
{
    TCrashShowRequest r;
    r.dialogStyle = 3;
    r.beep = false;
    r.exceptionClass = "EAccessViolation";
    r.exceptionMessage = "Access violation at address <b>00401000</b>.\r\nRead of address 00000000.";
    r.generalText = "Application:\r\n------------\r\n  1.1 Start Date: Thu, 10 Dec 2026\r\n";
    r.callStack = {{{"0000000000401000", "vetu-config", "Main.cpp", "TMainForm", "FormShow", "12"}, 100, 0},
                   {{"00007F0000001000", "libQt6Core.so.6", "", "", "QObject::event", ""}, 100, 3},
                   {{"0000000000402000", "vetu-config", "Worker.cpp", "", "run", "40"}, 200, 0}};
    r.modules = {{{"0x400000", "vetu-config", "", "", "", "", "/opt/vetu-config"}, 0, 0}};
    r.processes = {{{"1", "init", "", "", "", "", "1", "/sbin/init"}, 0, 0}};
    r.dialogFlags = 0x18F;
    r.terminateAction = 2;
    r.reportsBeforeTerminate = 3;
    r.logSections = 0x30;
    r.sendConfigured = true;
    r.screenshotRequested = true;
    return r;
}

template <class T = QWidget> T *Find(QWidget *root, const char *name)
{
    T *w = root->findChild<T *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

} // namespace crashreport::testing
