#pragma once
// The companion's side of the conversation: reads the request, takes the screenshot, runs the
// show loop (forwarding paints, custom-button clicks and action events to the program and
// waiting for its answers), writes "Screenshot.png" when it is to be sent, copies the report to
// the clipboard when asked, answers with the result and then serves the progress window, the
// send flow's message boxes and the clipboard until the program ends the report. A report that
// needs no dialog may begin with one of those instead of the request. Anything malformed from
// the program ends the companion.

#include "CrashShowStep.h"
#include "DialogChannel.h"

#include <QObject>

#include <memory>

class QSocketNotifier;
class QWidget;
class QWindow;

namespace crashreport {

class TCrashProgressWindow;

class TCrashCompanion : public QObject {
    Q_OBJECT
public:
    explicit TCrashCompanion(int fd);
    ~TCrashCompanion() override;

    // The whole conversation; the process exit code (0: ended by the program). `standby`: started
    // ahead of need, the companion waits without a time limit for its first message.
    int run(bool standby = false);

private:
    bool waitFor(TDialogMessageType type, std::string &payload);
    void serve();
    void onMessage(const TDialogMessage &message);
    int showReport(const std::string &payload);
    void showMessageBox(const std::string &payload);
    void copyToClipboard(const std::string &payload);
    // Keeps `window` in front of the program's main window (X11 WM_TRANSIENT_FOR).
    void makeTransient(QWidget *window);

    TDialogChannel m_channel;
    TCrashShowRequest m_request;
    std::unique_ptr<TCrashProgressWindow> m_progress;
    QWindow *m_programWindow = nullptr; // the program's main window, as a foreign window
    int m_exitCode = 0;
};

} // namespace crashreport
