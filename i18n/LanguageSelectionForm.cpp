#include "LanguageSelectionForm.h"

#include "RadioGroup.h"
#include "TextTable.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <iterator>

namespace
{

// The caption names the four languages in their own words (two blanks before "Lengua").
const char *const Caption = "Language / Sprache / Langue /  Lengua";

// Item order of RadioGroup and the language offset that each item selects.
constexpr int ItemOffsets[] = { EnglishOffset, GermanOffset, FrenchOffset, SpanishOffset };

} // namespace

TLanguageSelectionForm::TLanguageSelectionForm(QWidget *parent)
    : QDialog(parent)
    , RadioGroup(new TRadioGroup(this))
    , OKButton(new QPushButton(this))
{
    setObjectName(QStringLiteral("LanguageSelectionForm"));
    setWindowTitle(QString::fromUtf8(Caption));
    setModal(true);

    RadioGroup->setObjectName(QStringLiteral("RadioGroup"));
    RadioGroup->setTitle(QString::fromUtf8(Caption));
    RadioGroup->setItems({ QStringLiteral("English"), QStringLiteral("Deutsch"),
        QString::fromUtf8("Français"), QString::fromUtf8("Español") });
    RadioGroup->setItemIndex(0);

    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setText(QStringLiteral("OK"));
    // Enter anywhere in the dialog presses OK.
    OKButton->setDefault(true);
    OKButton->setAutoDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &TLanguageSelectionForm::OKButtonClick);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(RadioGroup, 1);
    layout->addLayout(buttons);

    // The designed size, or more where the desktop's font needs it.
    setFixedSize(QSize(414, 241).expandedTo(sizeHint()));

    // Start with the keyboard on the selected language so the arrow keys work at once.
    if (auto *first = RadioGroup->findChildren<QAbstractButton *>().value(0))
        first->setFocus(Qt::OtherFocusReason);
}

void TLanguageSelectionForm::OKButtonClick()
{
    const int item = RadioGroup->itemIndex();
    if (item >= 0 && item < static_cast<int>(std::size(ItemOffsets)))
        LanguageOffset = ItemOffsets[item];
    accept();
}

void TLanguageSelectionForm::keyPressEvent(QKeyEvent *event)
{
    // A dialog would reject on Escape and leave the program without a language.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
