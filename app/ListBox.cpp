#include "ListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>

// Click is raised after the list has handled the event, so that a handler which opens a
// modal box, or puts the selection back, finds the list in a settled state.

void TListBox::mousePressEvent(QMouseEvent *event)
{
    // Only the left button chooses an entry.
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int before = currentRow();
    QListWidget::mousePressEvent(event);
    const QModelIndex pressed = indexAt(event->position().toPoint());
    if (currentRow() != before || (pressed.isValid() && pressed.row() == currentRow()))
        emit Click();
}

void TListBox::mouseMoveEvent(QMouseEvent *event)
{
    const int before = currentRow();
    QListWidget::mouseMoveEvent(event);
    if (currentRow() != before)
        emit Click();
}

void TListBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    // The second press of a double click chooses the entry again, as a single press does.
    QMouseEvent press(QEvent::MouseButtonPress, event->position(), event->scenePosition(),
        event->globalPosition(), event->button(), event->buttons(), event->modifiers(), event->pointingDevice());
    mousePressEvent(&press);
    event->setAccepted(press.isAccepted());
}

void TListBox::keyPressEvent(QKeyEvent *event)
{
    const int before = currentRow();
    QListWidget::keyPressEvent(event);
    if (currentRow() != before)
        emit Click();
}

QItemSelectionModel::SelectionFlags TListBox::selectionCommand(
    const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
    if (flags & QItemSelectionModel::Deselect)
        return QItemSelectionModel::NoUpdate;
    return flags;
}

void TListBox::alignViewport(int grid)
{
    const int frame = frameWidth();
    const int inset = grid > 1 ? (frame + grid - 1) / grid * grid : frame;
    const int margin = inset - frame;
    setViewportMargins(margin, margin, margin, margin);
}
