#pragma once
// Common frame of the crash dialogs: the controls live on a client widget that the subclass lays
// out; the base adds the own look (painted caption band and frames, DialogFlags 0x040), notices
// the first paint, and runs the three timers:
// - paint check: a dialog that has not been painted soon after showing closes (style 0);
// - auto-close: with DialogCloseSeconds above 0 a close request after that many seconds without
//   a key, click, wheel, tab change or command;
// - keep in front: unless top-most, raised while one of the windows that existed when it opened
//   is active (windows made later, such as its own message boxes, stay in front).

#include "TCrashDialogHooks.h"

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QTimer>

namespace crashreport {

class TCrashDialogBase : public QDialog {
    Q_OBJECT
public:
    TCrashDialogBase(const TCrashDialogHooks &hooks, int closeSeconds, QWidget *parent = nullptr);
    ~TCrashDialogBase() override;

    QWidget *client() const { return m_client; }
    bool wasPainted() const { return m_painted; }
    int idleSeconds() const { return m_idleSeconds; }

    // Own look: no system frame, the caption and frames drawn by the dialog.
    void setOwnLook(bool on);
    bool ownLook() const { return m_ownLook; }
    void setTopMost(bool on);
    // Sizes the window so that the client area is `size` (in logical pixels).
    void setClientSize(QSize size);
    QSize clientSize() const;

    // How long the paint check waits for the first paint.
    static int paintCheckMs();

    // Input from anywhere in the dialog restarts the auto-close count.
    void resetIdle();

    static constexpr int OwnCaptionHeight = 20;
    static constexpr int OwnFrameWidth = 4;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    virtual void layoutClient() { }
    void notePainted();

    TCrashDialogHooks m_hooks;

private:
    void paintOwnLook();
    QMargins frameMargins() const;

    QWidget *m_client;
    bool m_painted = false;
    bool m_ownLook = false;
    bool m_topMost = false;
    int m_closeSeconds;
    int m_idleSeconds = 0;
    QTimer m_paintCheck;
    QTimer m_autoClose;
    QTimer m_keepInFront;
    QList<QPointer<QWidget>> m_existing;
    QPoint m_dragFrom;
};

} // namespace crashreport
