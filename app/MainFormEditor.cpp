#include "MainForm.h"

#include "EquationSet.h"
#include "EquationValidation.h"
#include "TextTable.h"
#include "UnexpectedError.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

namespace
{

constexpr int SaveQuestionText = 65;

// Keeps a question box open until one of its buttons is pressed: Escape and the close box
// would otherwise count as No, which drops the user's edits without their saying so.
class AnswerRequired : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Cancel))
            return true;
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Text 65 with Yes and No only.
QMessageBox::StandardButton AskToSaveShownSet(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), LoadText(SaveQuestionText),
        QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    AnswerRequired answerRequired;
    box.installEventFilter(&answerRequired);
    box.exec();
    return box.standardButton(box.clickedButton()) == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

// The keys whose own action moves the caret or changes the selection (or, for Insert with
// Shift or Ctrl, pastes or copies); none of them produces a character.
bool IsCaretOrSelectionKey(int key)
{
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Insert:
        return true;
    default:
        return false;
    }
}

bool IsPrintable(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!c.isPrint())
            return false;
    }
    return true;
}

// The focus reasons of a user leaving a field; the window losing activation, a pop-up
// menu and the program's own focus moves are not.
bool LeftByUser(Qt::FocusReason reason)
{
    return reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::MouseFocusReason
        || reason == Qt::ShortcutFocusReason;
}

} // namespace

void TMainForm::ConfigListBoxClick()
{
    const int k = ConfigListBox->currentRow();
    if (k < 0)
        return;
    if (VelocitySettingsModified && AskToSaveShownSet(this) == QMessageBox::Yes) {
        if (!ValidateEquationSet()) {
            ConfigListBox->setCurrentRow(CurrentEquationSet - 1);
            return;
        }
        try {
            SaveEquationSet();
        } catch (...) {
            // The edits are still only in the fields: the list goes on showing their set.
            ConfigListBox->setCurrentRow(CurrentEquationSet - 1);
            throw;
        }
    }
    CurrentEquationSet = k + 1;
    LoadEquationSet();
    VelocitySettingsModified = false;
    SaveVelocitySettingsButton->setEnabled(false);
}

void TMainForm::NameEditExit(QLineEdit *Sender)
{
    // Whichever boundary field was left, all three are checked.
    Q_UNUSED(Sender);
    refuseBadBoundaries();
}

bool TMainForm::refuseBadBoundaries()
{
    const std::optional<vetu::EquationCheckFailure> failure
        = vetu::CheckBoundaryTexts(EditorEquationSet(), QLocale());
    if (!failure)
        return false;
    // The box takes the focus away, and the focus then comes back: neither is a user
    // leaving a boundary field.
    const QScopedValueRollback running(m_boundaryCheckRunning, true);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), LoadText(failure->textId), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    EditorField(failure->focus)->setFocus();
    return true;
}

bool TMainForm::Boundary1EditKeyDown(int &Key)
{
    if (!IsCaretOrSelectionKey(Key))
        return false;
    Key = 0;
    return true;
}

bool TMainForm::Boundary3EditKeyDown(int &Key)
{
    if (Key != Qt::Key_Delete && !IsCaretOrSelectionKey(Key))
        return false;
    Key = 0;
    return true;
}

bool TMainForm::boundaryFieldEvent(QLineEdit *field, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        int key = keyEvent->key();
        bool ignored = false;
        if (field == Boundary1Edit)
            ignored = Boundary1EditKeyDown(key);
        else if (field == Boundary3Edit)
            ignored = Boundary3EditKeyDown(key);
        if (!ignored)
            return false;
        // The key's own action is dropped; a character it produces is still typed.
        if (IsPrintable(keyEvent->text())) {
            QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, keyEvent->modifiers(), keyEvent->text());
            QCoreApplication::sendEvent(field, &typed);
        }
        return true;
    }

    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // A field that is being hidden (the other page is shown, the window closes) is
        // not left by the user.
        if (!LeftByUser(reason) || m_boundaryCheckRunning || !field->isVisible())
            return false;
        bool refused = false;
        try {
            refused = refuseBadBoundaries();
        } catch (...) {
            vetu::ReportUnexpectedError(std::current_exception());
        }
        if (refused && reason == Qt::MouseFocusReason)
            dropPendingMousePress();
        // Back in this very field: it keeps its caret and selection as if never left.
        return QApplication::focusWidget() == field;
    }
    return false;
}

void TMainForm::dropPendingMousePress()
{
    // The press that moved the focus out is delivered right after the focus change; it
    // must not act (select an entry, press a button) once the check has refused to let
    // the field go. Dropping stops at the next turn of the event loop at the latest.
    if (m_dropMousePress)
        return;
    m_dropMousePress = true;
    qApp->installEventFilter(this);
    QTimer::singleShot(0, this, [this] {
        if (!m_dropMousePress)
            return;
        m_dropMousePress = false;
        qApp->removeEventFilter(this);
    });
}

bool TMainForm::dropMousePressEvent(QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonDblClick)
        return false;
    m_dropMousePress = false;
    qApp->removeEventFilter(this);
    event->accept(); // handled here: not passed on to the parents either
    return true;
}
