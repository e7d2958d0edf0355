#include "TCrashWindowSnapshot.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

namespace
{
crashreport::TCrashShowRect toRect(const QRect &r)
{
    return { r.left(), r.top(), r.width(), r.height() };
}

bool isTopLevelWidget(QObject *watched)
{
    return watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow();
}

// The native id of a window that already has one (never creates one).
std::uint64_t nativeId(const QWidget *w)
{
    return w ? static_cast<std::uint64_t>(w->internalWinId()) : 0;
}
} // namespace

void TCrashWindowSnapshot::noteEvent(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::WindowStateChange:
        if (isTopLevelWidget(watched))
            refresh();
        break;
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::Enter: {
        // Mouse events reach the widget under the pointer; the window's copies are left out.
        if (!watched->isWidgetType())
            break;
        const QPointF global = static_cast<QSinglePointEvent *>(event)->globalPosition();
        noteCursor(static_cast<QWidget *>(watched), qRound(global.x()), qRound(global.y()));
        break;
    }
    default:
        break;
    }
}

void TCrashWindowSnapshot::noteCursor(QWidget *widget, int x, int y)
{
    const QCursor *overrideCursor = QGuiApplication::overrideCursor();
    const int shape = overrideCursor ? overrideCursor->shape() : widget->cursor().shape();
    std::lock_guard lock(m_lock);
    m_cursorX = x;
    m_cursorY = y;
    m_cursorShape = shape;
}

void TCrashWindowSnapshot::refresh()
{
    std::vector<crashreport::TCrashShowRect> topLevel;
    QWidget *main = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->windowType() == Qt::ToolTip || w->windowType() == Qt::Popup)
            continue;
        topLevel.push_back(toRect(w->frameGeometry()));
        if (!main && qobject_cast<QMainWindow *>(w))
            main = w;
    }
    QWidget *active = QApplication::activeWindow();
    if (!main)
        main = active;
    if (!main) {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->isVisible()) {
                main = w;
                break;
            }
    }
    crashreport::TCrashShowRect focusRect;
    bool hasFocus = false;
    if (QWidget *focus = QApplication::focusWidget(); focus && focus->isVisible()) {
        focusRect = toRect(QRect(focus->mapToGlobal(QPoint(0, 0)), focus->size()));
        hasFocus = true;
    }
    std::lock_guard lock(m_lock);
    m_topLevel = std::move(topLevel);
    m_foreground = active ? toRect(active->frameGeometry()) : crashreport::TCrashShowRect {};
    m_mainWindowId = nativeId(main);
    m_hasFocusRect = hasFocus;
    m_focusRect = focusRect;
}

void TCrashWindowSnapshot::fill(crashreport::TCrashShowRequest &request) const
{
    std::lock_guard lock(m_lock);
    request.topLevelWindows = m_topLevel;
    request.foregroundWindow = m_foreground;
    request.mainWindowId = m_mainWindowId;
    request.hasFocusRect = m_hasFocusRect;
    request.focusRect = m_focusRect;
    request.cursorX = m_cursorX;
    request.cursorY = m_cursorY;
    request.cursorShape = m_cursorShape;
}
