#include "MessageBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

// A box that appears with no answer queued fails the running test at once, with its title
// and text in the failure, and is closed so that the test goes on instead of waiting for
// CTest's time-out. Answers still queued when the answerer goes away fail the test too: the
// boxes they were meant for never came.

namespace
{
// Set on a box once it has been answered, to tell a box that stayed open from a new one.
constexpr const char *AnsweredProperty = "messageBoxAnswererAnswered";
} // namespace

MessageBoxAnswerer::MessageBoxAnswerer()
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &MessageBoxAnswerer::poll);
    m_timer.start();
}

MessageBoxAnswerer::~MessageBoxAnswerer()
{
    if (!m_answers.isEmpty())
        ADD_FAILURE() << m_answers.size() << " queued message box answer(s) never used: "
                      << "the box(es) they were meant for did not appear";
}

void MessageBoxAnswerer::answer(QMessageBox::StandardButton button)
{
    m_answers.push_back(static_cast<int>(button));
}

void MessageBoxAnswerer::answerEscape()
{
    m_answers.push_back(-1);
}

void MessageBoxAnswerer::answerEveryBoxWith(QMessageBox::StandardButton button)
{
    m_answerEvery = static_cast<int>(button);
}

void MessageBoxAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    m_seen.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
        box->windowFlags().testFlag(Qt::WindowStaysOnTopHint), box->windowModality(), box->textFormat()});
    if (m_answers.isEmpty() && m_answerEvery != 0)
        m_answers.push_back(m_answerEvery);
    if (m_answers.isEmpty()) {
        ADD_FAILURE() << (box->property(AnsweredProperty).toBool() ? "message box still open after its answer \""
                                                                   : "unexpected message box \"")
                      << box->windowTitle().toStdString() << "\": \"" << box->text().toStdString() << "\"";
        // Closed without a choice, so the code under test can go on and the test ends.
        if (QAbstractButton *escape = box->escapeButton())
            escape->click();
        else
            box->reject();
        return;
    }
    const int answer = m_answers.takeFirst();
    box->setProperty(AnsweredProperty, true);
    if (answer == -1) {
        QTest::keyClick(box, Qt::Key_Escape);
        return;
    }
    if (QAbstractButton *button = box->button(static_cast<QMessageBox::StandardButton>(answer)))
        button->click();
    else
        box->done(answer);
}
