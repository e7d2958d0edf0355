#pragma once
// The toolkit services of the crash-report core on Qt (see TCrashApplication).

#include "CrashCapture.h"
#include "TCrashWindowSnapshot.h"

#include <QObject>
#include <QPointer>

#include <atomic>
#include <condition_variable>
#include <mutex>

class QLineEdit;
class QWidget;

class TCrashQtToolkit final : public QObject, public crashreport::TCrashToolkit
{
    Q_OBJECT
public:
    TCrashQtToolkit();

    bool isGuiThread() const override;
    bool canShowWindows() const override;
    void processEvents() override;
    crashreport::ActiveControlValues activeControls() const override;
    std::optional<crashreport::DisplayValues> display() const override;
    bool mainWindowExists() const override;
    bool mainWindowAnswers(int milliseconds) override;
    void windowsSnapshot(crashreport::TCrashShowRequest &request) const override;

    // GUI thread: keeps the focus snapshot current.
    void focusChanged(QWidget *previous, QWidget *now);

protected:
    bool event(QEvent *event) override;
    // Installed on the application: keeps the window snapshot current (GUI thread).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void snapshotControl(QWidget *widget);
    void snapshotScreen();
    void postPing() const;

    std::uint64_t m_guiThread;
    mutable std::mutex m_lock;
    crashreport::ActiveControlValues m_controls;
    std::optional<crashreport::DisplayValues> m_display;
    TCrashWindowSnapshot m_windows;
    QPointer<QLineEdit> m_watchedEdit;
    QMetaObject::Connection m_editConnection;

    mutable std::atomic<bool> m_pingPending { false };
    mutable std::atomic<bool> m_hasWindow { false };
    mutable std::condition_variable m_answered;
};
