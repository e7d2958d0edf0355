#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QVBoxLayout;

// A titled group of radio buttons addressed by item index.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget *parent = nullptr);

    QStringList items() const;
    void setItems(const QStringList &items); // keeps the item index when it still exists
    int itemIndex() const; // -1 when none is checked
    void setItemIndex(int index); // -1 unchecks all

signals:
    void itemIndexChanged(int index); // user or program change

private:
    void syncIndex();

    QButtonGroup *m_buttons;
    QVBoxLayout *m_layout;
    int m_index = -1;
};
