#pragma once

#include <QDialog>

class TRadioGroup;
class QKeyEvent;
class QPushButton;

// Asks for the program's language on first start. Never translated.
class TLanguageSelectionForm : public QDialog
{
    Q_OBJECT
public:
    explicit TLanguageSelectionForm(QWidget *parent = nullptr);

    TRadioGroup *RadioGroup;
    QPushButton *OKButton;

protected:
    // Escape is no answer: only OK or the close box end the dialog.
    void keyPressEvent(QKeyEvent *event) override;

private slots:
    void OKButtonClick();
};
