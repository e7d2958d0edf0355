#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

// Answers the real modal message boxes that the code under test opens.
// Each expected box is queued with the button to press; the answerer polls
// for the active modal widget, records what it showed and presses the button.
class MessageBoxAnswerer : public QObject
{
    Q_OBJECT
public:
    struct Seen {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        bool topMost = false;
        Qt::WindowModality modality = Qt::NonModal;
        Qt::TextFormat textFormat = Qt::AutoText;
    };

    MessageBoxAnswerer();
    ~MessageBoxAnswerer() override;

    // Queue an answer for the next box that appears.
    void answer(QMessageBox::StandardButton button);
    // Queue closing the next box with the Escape key.
    void answerEscape();
    // Once the queue is used up, answer every further box with button, however many come,
    // and count none of them as unexpected. For a fixture's tear-down, where the boxes that
    // the code shows while it is taken down are not what the test checks.
    void answerEveryBoxWith(QMessageBox::StandardButton button);

    const QVector<Seen> &seen() const { return m_seen; }
    int pending() const { return static_cast<int>(m_answers.size()); }
    void clear() { m_seen.clear(); }

private:
    void poll();

    QTimer m_timer;
    QVector<int> m_answers; // StandardButton, or -1 for Escape
    int m_answerEvery = 0; // StandardButton for every box beyond the queue, 0 when none
    QVector<Seen> m_seen;
};
