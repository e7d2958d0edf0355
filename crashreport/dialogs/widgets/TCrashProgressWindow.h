#pragma once
// The small window shown while a report is sent: a label and a bar that the program drives, closed
// by the program. In the foreground it is centred and kept in front; in the background it sits at
// the bottom-right corner of the work area.

#include "CrashShowStep.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;

namespace crashreport {

class TCrashProgressWindow : public QWidget {
    Q_OBJECT
public:
    TCrashProgressWindow(const TCrashShowRequest &request, bool foreground, QWidget *parent = nullptr);

    void setProgress(const QString &label, int position, int maximum);
    QLabel *label() const { return m_label; }
    QProgressBar *bar() const { return m_bar; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QLabel *m_label;
    QProgressBar *m_bar;
    QTimer m_keepInFront;
    bool m_foreground;
};

} // namespace crashreport
