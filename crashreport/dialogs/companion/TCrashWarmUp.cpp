#include "TCrashWarmUp.h"

#include "CrashShowStep.h"
#include "TCrashDetailedDialog.h"
#include "TCrashShowState.h"

#include <QImage>
#include <QPainter>

namespace crashreport {

void CrashWarmUpDialogs()
{
    TCrashShowRequest request;
    request.beep = false;
    request.exceptionMessage = "Warm-up.";
    request.generalText = "General:\r\n--------\r\n  1.1 Warm-up: yes\r\n";
    request.callStack = {{{"0000000000000000", "warm-up", "", "", "", ""}, 1, 0}};
    request.dialogFlags = 0x1DF; // detailed mode, own look: every part the dialogs may use
    request.logSections = 0x30;
    TCrashShowState state;
    state.style = 3;
    // Never shown, never closed: the settings file is neither read from a real place nor written.
    TCrashDetailedDialog dialog(request, state, TCrashDialogHooks{}, "/nonexistent/CrashReport.ini");
    dialog.setAttribute(Qt::WA_DontShowOnScreen);
    dialog.ensurePolished();
    dialog.adjustSize();
    QImage picture(dialog.size().boundedTo(QSize(1024, 768)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    dialog.render(&painter);
}

} // namespace crashreport
