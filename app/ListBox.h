#pragma once

#include <QListWidget>

// A list whose Click signal says that the user chose an entry: a left click on an entry
// (the selected one included), dragging the mouse over entries with the button held, or
// a key that moves the selection. Selections made by the program (setCurrentRow) never
// raise it. A selected entry is never deselected by the user (Ctrl+click, Ctrl+Space), so
// an entry stays selected once one has been.
class TListBox : public QListWidget
{
    Q_OBJECT
public:
    using QListWidget::QListWidget;

    // Keeps the entries' area on whole device pixels at a fractional scale, where it would
    // otherwise cover a line of the frame: grid is DevicePixelGrid() of the scale.
    void alignViewport(int grid);

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex &index, const QEvent *event = nullptr) const override;
};
