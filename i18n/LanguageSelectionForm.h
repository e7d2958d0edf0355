#pragma once

#include <QDialog>

class TRadioGroup;
class QPushButton;

// Asks for the program's language on first start. Never translated.
class TLanguageSelectionForm : public QDialog
{
    Q_OBJECT
public:
    explicit TLanguageSelectionForm(QWidget *parent = nullptr);

    TRadioGroup *RadioGroup;
    QPushButton *OKButton;

private slots:
    void OKButtonClick();
};
