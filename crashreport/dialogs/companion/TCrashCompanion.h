#pragma once
// The companion's side of the conversation: reads the request, takes the screenshot, runs the
// show loop (forwarding paints, custom-button clicks and action events to the program and
// waiting for its answers), writes "Screenshot.png" when it is to be sent, copies the report to
// the clipboard when asked, answers with the result and then serves the progress window until
// the program ends the report. Anything malformed from the program ends the companion.

#include "CrashShowStep.h"
#include "DialogChannel.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace crashreport {

class TCrashProgressWindow;

class TCrashCompanion : public QObject {
    Q_OBJECT
public:
    explicit TCrashCompanion(int fd);
    ~TCrashCompanion() override;

    // The whole conversation; the process exit code (0: ended by the program).
    int run();

private:
    bool waitFor(TDialogMessageType type, std::string &payload);
    void serve();
    void onMessage(const TDialogMessage &message);

    TDialogChannel m_channel;
    TCrashShowRequest m_request;
    std::unique_ptr<TCrashProgressWindow> m_progress;
    int m_exitCode = 0;
};

} // namespace crashreport
