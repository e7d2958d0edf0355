#include "TCrashQtToolkit.h"

#include "CrashThreadRegistry.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

#include <cstdlib>

namespace
{
const QEvent::Type PingEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

bool anyWindowShown()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            return true;
    return false;
}
} // namespace

TCrashQtToolkit::TCrashQtToolkit()
    : m_guiThread(crashreport::CrashCurrentThreadId())
{
    snapshotScreen();
}

bool TCrashQtToolkit::isGuiThread() const
{
    return crashreport::CrashCurrentThreadId() == m_guiThread;
}

bool TCrashQtToolkit::canShowWindows() const
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return false;
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        return false;
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void TCrashQtToolkit::processEvents()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
}

crashreport::ActiveControlValues TCrashQtToolkit::activeControls() const
{
    std::lock_guard lock(m_lock);
    return m_controls;
}

std::optional<crashreport::DisplayValues> TCrashQtToolkit::display() const
{
    std::lock_guard lock(m_lock);
    return m_display;
}

void TCrashQtToolkit::postPing() const
{
    if (m_pingPending.exchange(true))
        return; // one question at a time: a blocked thread is not flooded
    QCoreApplication::postEvent(const_cast<TCrashQtToolkit *>(this), new QEvent(PingEvent));
}

bool TCrashQtToolkit::mainWindowExists() const
{
    postPing();
    return m_hasWindow.load();
}

bool TCrashQtToolkit::mainWindowAnswers(int milliseconds)
{
    postPing();
    std::unique_lock lock(m_lock);
    return m_answered.wait_for(
        lock, std::chrono::milliseconds(milliseconds), [&] { return !m_pingPending.load(); });
}

bool TCrashQtToolkit::event(QEvent *event)
{
    if (event->type() == PingEvent) {
        m_hasWindow = anyWindowShown();
        {
            std::lock_guard lock(m_lock);
            m_pingPending = false;
        }
        m_answered.notify_all();
        return true;
    }
    return QObject::event(event);
}

bool TCrashQtToolkit::eventFilter(QObject *watched, QEvent *event)
{
    m_windows.noteEvent(watched, event);
    return false;
}

void TCrashQtToolkit::windowsSnapshot(crashreport::TCrashShowRequest &request) const
{
    m_windows.fill(request);
}

void TCrashQtToolkit::focusChanged(QWidget *, QWidget *now)
{
    m_windows.refresh();
    if (m_editConnection)
        QObject::disconnect(m_editConnection);
    m_watchedEdit = qobject_cast<QLineEdit *>(now);
    if (m_watchedEdit)
        m_editConnection = connect(
            m_watchedEdit, &QLineEdit::textChanged, this, [this] { snapshotControl(m_watchedEdit); });
    snapshotControl(now);
}

void TCrashQtToolkit::snapshotControl(QWidget *widget)
{
    crashreport::ActiveControlValues values;
    if (widget) {
        values.controlClass = widget->metaObject()->className();
        QString text;
        if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            text = edit->text();
            values.controlIsPassword = edit->echoMode() == QLineEdit::Password
                || edit->echoMode() == QLineEdit::PasswordEchoOnEdit;
            if (values.controlIsPassword)
                text = QString(text.size(), QLatin1Char('*'));
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            text = button->text();
        } else if (auto *combo = qobject_cast<QComboBox *>(widget)) {
            text = combo->currentText();
        } else {
            text = widget->windowTitle();
        }
        values.controlText = text.toStdString();
        if (QWidget *window = widget->window()) {
            values.formClass = window->metaObject()->className();
            values.formText = window->windowTitle().toStdString();
        }
    }
    std::lock_guard lock(m_lock);
    m_controls = std::move(values);
}

void TCrashQtToolkit::snapshotScreen()
{
    std::optional<crashreport::DisplayValues> values;
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            crashreport::DisplayValues v;
            v.width = screen->size().width();
            v.height = screen->size().height();
            v.bitsPerPixel = screen->depth();
            v.dpi = qRound(screen->logicalDotsPerInch());
            values = v;
        }
    }
    std::lock_guard lock(m_lock);
    m_display = values;
}
