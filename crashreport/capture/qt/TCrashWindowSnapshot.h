#pragma once
// The program's windows as the dialog companion needs them (the screenshot area, the focus frame,
// the cursor, the window to stay in front of), recorded on the GUI thread whenever they change
// and read by the reporting thread. Qt may only be asked on the GUI thread; the record is plain
// data under a lock.

#include "CrashShowStep.h"

#include <mutex>

class QEvent;
class QObject;
class QWidget;

class TCrashWindowSnapshot
{
public:
    // GUI thread: an event seen by the application's filter; keeps the record current.
    void noteEvent(QObject *watched, QEvent *event);
    // GUI thread: the windows, the foreground window and the focused control, afresh.
    void refresh();

    // Any thread.
    void fill(crashreport::TCrashShowRequest &request) const;

private:
    void noteCursor(QWidget *widget, int x, int y);

    mutable std::mutex m_lock;
    std::vector<crashreport::TCrashShowRect> m_topLevel;
    crashreport::TCrashShowRect m_foreground;
    std::uint64_t m_mainWindowId = 0;
    bool m_hasFocusRect = false;
    crashreport::TCrashShowRect m_focusRect;
    int m_cursorX = -1;
    int m_cursorY = -1;
    int m_cursorShape = 0;
};
