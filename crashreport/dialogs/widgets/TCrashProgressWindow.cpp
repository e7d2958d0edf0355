#include "TCrashProgressWindow.h"

#include "TCrashDetailedDialog.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

namespace crashreport {

TCrashProgressWindow::TCrashProgressWindow(const TCrashShowRequest &request, bool foreground, QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint), m_label(new QLabel("...", this)),
      m_bar(new QProgressBar(this)), m_foreground(foreground)
{
    setObjectName("CR_Server");
    setWindowTitle(CrashQText(request, 110));
    auto *icon = new QLabel(this);
    icon->setPixmap(CrashErrorMark().scaled(24, 24, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    icon->setGeometry(8, 8, 24, 24);
    m_label->setObjectName("ProgressLabel");
    m_label->setTextFormat(Qt::PlainText);
    m_label->setGeometry(40, 6, 220, 18);
    m_bar->setObjectName("ProgressBar");
    m_bar->setGeometry(40, 28, 220, 14);
    m_bar->setTextVisible(false);
    setFixedSize(270, 50);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        if (foreground)
            move(area.left() + (area.width() - width()) / 2, area.top() + (area.height() - height()) / 2);
        else
            move(area.right() - width() - 8, area.bottom() - height() - 32);
    }
    if (foreground) {
        connect(&m_keepInFront, &QTimer::timeout, this, [this] {
            if (isVisible() && !isActiveWindow())
                raise();
        });
        m_keepInFront.start(10);
    }
}

void TCrashProgressWindow::setProgress(const QString &label, int position, int maximum)
{
    m_label->setText(label);
    m_bar->setRange(0, maximum > 0 ? maximum : 100);
    m_bar->setValue(std::clamp(position, 0, maximum > 0 ? maximum : 100));
}

void TCrashProgressWindow::closeEvent(QCloseEvent *event)
{
    // Only the program closes it (sending goes on meanwhile).
    if (!property("closingByProgram").toBool())
        event->ignore();
}

} // namespace crashreport
