#include "TCrashShowLoop.h"

#include "CrashDialogRules.h"
#include "TCrashClassicDialog.h"
#include "TCrashDetailedDialog.h"
#include "TCrashRequestDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QWindow>

namespace crashreport {

TCrashShowLoop::TCrashShowLoop(const TCrashShowRequest &request, TCrashDialogHooks hooks, std::string settingsPath)
    : m_request(request), m_hooks(std::move(hooks)), m_settingsPath(std::move(settingsPath))
{
    m_state.style = request.dialogStyle;
    m_state.sendRequested = request.sendConfigured;
    m_state.screenshotRequested = request.screenshotRequested;
    m_state.reproduceText = request.reproduceText; // the edits start with the steps given last time

    // Every dialog reports its first paint once for the whole step.
    auto painted = m_hooks.painted;
    m_hooks.painted = [this, painted] {
        if (!m_state.painted && painted)
            painted();
        m_state.painted = true;
    };
}

void TCrashShowLoop::runMessageBox()
{
    QMessageBox box(QMessageBox::Critical, CrashQText(m_request, 3), QString::fromStdString(m_request.exceptionMessage),
                    QMessageBox::Ok);
    box.setObjectName("ExceptionMessageBox");
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    struct PaintWatch : QObject {
        std::function<void()> seen;
        bool eventFilter(QObject *, QEvent *e) override
        {
            // The box is the last resort and has no paint check of its own: shown counts.
            if ((e->type() == QEvent::Paint || e->type() == QEvent::Show) && seen)
                seen();
            return false;
        }
    } watch;
    watch.seen = m_hooks.painted;
    box.installEventFilter(&watch);
    if (onDialog)
        onDialog(&box);
    box.exec();
    m_state.style = 0;
}

bool TCrashShowLoop::runDialog(int style)
{
    std::unique_ptr<TCrashDialogBase> dialog;
    if (style == 3)
        dialog = std::make_unique<TCrashDetailedDialog>(m_request, m_state, m_hooks, m_settingsPath);
    else
        dialog = std::make_unique<TCrashClassicDialog>(m_request, m_state, m_hooks, m_settingsPath);
    if (m_request.mainWindowId) {
        // Keep in front of the program's own windows: transient for its main window.
        dialog->winId();
        if (QWindow *parent = QWindow::fromWinId(static_cast<WId>(m_request.mainWindowId)))
            dialog->windowHandle()->setTransientParent(parent);
    }
    if (onDialog)
        onDialog(dialog.get());
    dialog->exec();
    return dialog->wasPainted();
}

TCrashShowResult TCrashShowLoop::run()
{
    const int styleAtStart = m_state.style;
    if (m_request.beep && styleAtStart != 1 && styleAtStart != 0)
        QApplication::beep();
    for (;;) {
        int lastStyle = m_state.style;
        while (m_state.style != 0) {
            const int style = m_state.style;
            lastStyle = style;
            if (style == 1) {
                runMessageBox();
            } else if (style == 2 || style == 3) {
                if (!runDialog(style)) {
                    m_state.style = 0;
                    runMessageBox(); // a dialog that never painted: the message box instead
                }
            } else {
                m_state.style = 0;
            }
        }
        if (!m_state.terminateRequested || !m_hooks.action)
            break;
        if (m_hooks.action(8, true))
            break;
        // A listener cancelled terminating: the dialog is shown again.
        m_state.terminateRequested = false;
        m_state.style = lastStyle;
    }

    if (m_state.painted && CrashRequestDialogFollows(m_request, styleAtStart, m_state.sendRequested)) {
        TCrashRequestDialog dialog(m_request, m_state, m_hooks);
        if (onDialog)
            onDialog(&dialog);
        dialog.exec();
    }

    TCrashShowResult result;
    result.painted = m_state.painted;
    result.sendRequested = m_state.sendRequested;
    result.screenshotRequested = m_state.screenshotRequested;
    result.copyRequested = m_state.copyRequested;
    result.terminateRequested = m_state.terminateRequested;
    result.emailAddress = m_state.emailAddress;
    // Steps the user did not see in this report are not this report's.
    result.reproduceGiven = m_state.reproduceGiven;
    if (m_state.reproduceGiven)
        result.reproduceText = m_state.reproduceText;
    return result;
}

} // namespace crashreport
