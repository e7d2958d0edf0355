#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

TRadioGroup::TRadioGroup(QWidget *parent)
    : QGroupBox(parent)
    , m_buttons(new QButtonGroup(this))
    , m_layout(new QVBoxLayout(this))
{
    m_buttons->setExclusive(true);
    // idToggled fires for the button losing the check and for the one gaining it;
    // reading the group's state afterwards reports each change exactly once.
    connect(m_buttons, &QButtonGroup::idToggled, this, [this](int, bool) { syncIndex(); });
}

QStringList TRadioGroup::items() const
{
    QStringList result;
    const int count = static_cast<int>(m_buttons->buttons().size());
    for (int i = 0; i < count; ++i)
        result.append(m_buttons->button(i)->text());
    return result;
}

void TRadioGroup::setItems(const QStringList &items)
{
    const int oldCount = static_cast<int>(m_buttons->buttons().size());
    const int newCount = static_cast<int>(items.size());

    // Surplus buttons go first; if the checked one is among them the index drops to -1.
    for (int i = oldCount - 1; i >= newCount; --i) {
        QAbstractButton *button = m_buttons->button(i);
        if (button->isChecked())
            setItemIndex(-1);
        m_buttons->removeButton(button);
        m_layout->removeWidget(button);
        delete button;
    }
    for (int i = oldCount; i < newCount; ++i) {
        auto *button = new QRadioButton(this);
        m_layout->addWidget(button);
        m_buttons->addButton(button, i);
    }
    for (int i = 0; i < newCount; ++i)
        m_buttons->button(i)->setText(items.at(i));
}

int TRadioGroup::itemIndex() const
{
    return m_buttons->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    if (index >= 0 && index < static_cast<int>(m_buttons->buttons().size())) {
        m_buttons->button(index)->setChecked(true);
        return;
    }
    // An exclusive group refuses to uncheck its last checked button.
    if (QAbstractButton *checked = m_buttons->checkedButton()) {
        m_buttons->setExclusive(false);
        checked->setChecked(false);
        m_buttons->setExclusive(true);
    }
}

void TRadioGroup::syncIndex()
{
    const int index = m_buttons->checkedId();
    if (index == m_index)
        return;
    m_index = index;
    emit itemIndexChanged(index);
}
