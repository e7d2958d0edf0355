#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The Info dialog: the program's name in the current language, its version and a picture.
// Modal, 404 x 181, white, centred on its parent; the caption "Info" is never translated.
class TInfoForm : public QDialog
{
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);

    QLabel *Image;
    QLabel *Label1;
    QLabel *Label2;
    QPushButton *Button1;

    // Creates a fresh dialog, shows it modally and releases it.
    static void ShowModal(QWidget *parent);

private slots:
    void Button1Click();

private:
    void FormCreate();
};
