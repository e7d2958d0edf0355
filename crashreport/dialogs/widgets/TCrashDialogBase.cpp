#include "TCrashDialogBase.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>

namespace crashreport {

TCrashDialogBase::TCrashDialogBase(const TCrashDialogHooks &hooks, int closeSeconds, QWidget *parent)
    : QDialog(parent), m_hooks(hooks), m_client(new QWidget(this)), m_closeSeconds(closeSeconds)
{
    m_client->setObjectName("Client");
    m_client->installEventFilter(this);
    qApp->installEventFilter(this);

    m_paintCheck.setSingleShot(true);
    connect(&m_paintCheck, &QTimer::timeout, this, [this] {
        if (!m_painted)
            reject();
    });
    connect(&m_autoClose, &QTimer::timeout, this, [this] {
        if (++m_idleSeconds >= m_closeSeconds)
            close();
    });
    connect(&m_keepInFront, &QTimer::timeout, this, [this] {
        if (m_topMost || !isVisible())
            return;
        QWidget *active = QApplication::activeWindow();
        if (active && active != this && std::any_of(m_existing.begin(), m_existing.end(), [&](const auto &w) { return w == active; }))
            activateWindow();
    });
}

TCrashDialogBase::~TCrashDialogBase()
{
    qApp->removeEventFilter(this);
}

void TCrashDialogBase::resetIdle()
{
    m_idleSeconds = 0;
    // The count starts again from this input, so the close comes whole seconds after it.
    if (m_autoClose.isActive())
        m_autoClose.start(1000);
}

int TCrashDialogBase::paintCheckMs()
{
    // The first paint waits for the window system to map the window; on X11 that is one round
    // trip to the server, so the check allows far more than a single tick.
    return 5000;
}

void TCrashDialogBase::setOwnLook(bool on)
{
    m_ownLook = on;
    Qt::WindowFlags flags = windowFlags();
    if (on) {
        flags |= Qt::FramelessWindowHint;
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(212, 208, 200));
        setPalette(p);
        setAutoFillBackground(true);
    } else {
        flags &= ~Qt::FramelessWindowHint;
    }
    setWindowFlags(flags);
    setContentsMargins(frameMargins());
}

void TCrashDialogBase::setTopMost(bool on)
{
    m_topMost = on;
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
}

QMargins TCrashDialogBase::frameMargins() const
{
    if (!m_ownLook)
        return {};
    return {OwnFrameWidth, OwnFrameWidth + OwnCaptionHeight, OwnFrameWidth, OwnFrameWidth};
}

void TCrashDialogBase::setClientSize(QSize size)
{
    const QMargins m = frameMargins();
    resize(size.width() + m.left() + m.right(), size.height() + m.top() + m.bottom());
}

QSize TCrashDialogBase::clientSize() const
{
    return m_client->size();
}

void TCrashDialogBase::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    m_client->setGeometry(contentsRect());
    layoutClient();
}

void TCrashDialogBase::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_paintCheck.isActive() || m_painted)
        return;
    m_existing.clear();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w != this && w->isVisible())
            m_existing.append(w);
    m_paintCheck.start(paintCheckMs());
    if (m_closeSeconds > 0)
        m_autoClose.start(1000);
    m_keepInFront.start(10);
}

bool TCrashDialogBase::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Paint:
        if (watched == m_client)
            notePainted();
        break;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::NonClientAreaMouseButtonPress: {
        // Only input meant for this dialog (its own widgets or its own message boxes) counts.
        QWidget *w = qobject_cast<QWidget *>(watched);
        if (w && (w->window() == this || isAncestorOf(w) || w->window()->parentWidget() == this))
            resetIdle();
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TCrashDialogBase::notePainted()
{
    if (m_painted)
        return;
    m_painted = true;
    if (m_hooks.painted)
        m_hooks.painted();
}

void TCrashDialogBase::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    notePainted();
    if (m_ownLook)
        paintOwnLook();
}

void TCrashDialogBase::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && m_ownLook)
        update();
}

void TCrashDialogBase::paintOwnLook()
{
    QPainter p(this);
    const bool active = isActiveWindow();
    const QRect outer = rect();
    // Inner frame, then the caption band in steps of 5 pixels, each 2 pixels smaller at top and
    // bottom and 4 % darker, then the outer frame line.
    p.fillRect(outer, active ? QColor(128, 128, 128) : QColor(96, 96, 96));
    const QRect caption(OwnFrameWidth, OwnFrameWidth, outer.width() - 2 * OwnFrameWidth, OwnCaptionHeight);
    double r = active ? 130 : 151, g = active ? 155 : 151, b = active ? 194 : 151;
    const int steps = std::max(1, OwnCaptionHeight / 5);
    for (int i = 0; i < steps; ++i) {
        const QRect band = caption.adjusted(0, 2 * i, 0, -2 * i);
        if (band.height() <= 0)
            break;
        p.fillRect(band, QColor(std::min(255, int(r)), std::min(255, int(g)), std::min(255, int(b))));
        r *= 0.96;
        g *= 0.96;
        b *= 0.96;
    }
    p.setPen(active ? QColor(64, 64, 64) : QColor(48, 48, 48));
    p.drawRect(outer.adjusted(0, 0, -1, -1));

    QFont font = this->font();
    font.setBold(true);
    p.setFont(font);
    const QRect textRect = caption.adjusted(6, 0, -6, 0);
    if (active) {
        p.setPen(QColor(34, 34, 34));
        p.drawText(textRect.translated(1, 0), Qt::AlignVCenter | Qt::AlignLeft, windowTitle());
        p.setPen(Qt::white);
    } else {
        p.setPen(QColor(224, 224, 224));
    }
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, windowTitle());
}

void TCrashDialogBase::mousePressEvent(QMouseEvent *event)
{
    m_dragFrom = event->globalPosition().toPoint() - frameGeometry().topLeft();
    QDialog::mousePressEvent(event);
}

void TCrashDialogBase::mouseMoveEvent(QMouseEvent *event)
{
    // The painted caption moves the window as a system caption would.
    if (m_ownLook && (event->buttons() & Qt::LeftButton) && m_dragFrom.y() < OwnFrameWidth + OwnCaptionHeight) {
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        move(event->globalPosition().toPoint() - m_dragFrom);
    }
    QDialog::mouseMoveEvent(event);
}

} // namespace crashreport
