#include "MessageBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>

MessageBoxAnswerer::MessageBoxAnswerer()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    m_timer.start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() = default;

void MessageBoxAnswerer::answer(QMessageBox::StandardButton button)
{
    m_answers.push_back(static_cast<int>(button));
}

void MessageBoxAnswerer::answerEscape()
{
    m_answers.push_back(-1);
}

void MessageBoxAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible() || m_answers.isEmpty())
        return;
    m_seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
    const int answer = m_answers.takeFirst();
    if (answer == -1) {
        QTest::keyClick(box, Qt::Key_Escape);
        return;
    }
    if (QAbstractButton *button = box->button(static_cast<QMessageBox::StandardButton>(answer)))
        button->click();
    else
        box->done(answer);
}
