#include "InfoForm.h"

#include "JpegDecoder.h"
#include "Translator.h"

#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>

// The picture is compiled into this static library; its resource must be registered by hand.
static void InitInfoPicture()
{
    Q_INIT_RESOURCE(vetu_help_info);
}

TInfoForm::TInfoForm(QWidget *parent)
    : QDialog(parent)
{
    InitInfoPicture();
    setObjectName(QStringLiteral("InfoForm"));
    setWindowTitle(QStringLiteral("Info"));
    setModal(true);
    setFixedSize(404, 181);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    // The picture is kept at its own size and drawn stretched into the corner.
    Image = new QLabel(this);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setGeometry(404 - 81 - 8, 8, 81, 49);
    Image->setScaledContents(true);
    QFile picture(QStringLiteral(":/vetu/help/info.jpg"));
    if (picture.open(QIODevice::ReadOnly))
        Image->setPixmap(QPixmap::fromImage(vetu::DecodeJpeg(picture.readAll())));

    Label1 = new QLabel(QStringLiteral("Application Software for Signal Counter"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setProperty(TagProperty, 1);
    Label1->setGeometry(16, 24, 404 - 16 - 81 - 16, 34);
    Label1->setWordWrap(true);

    Label2 = new QLabel(QStringLiteral("Version 1.04.1"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(16, 72, 200, 20);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry((404 - 75) / 2, 181 - 25 - 16, 75, 25);
    Button1->setDefault(true);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, &TInfoForm::Button1Click);

    FormCreate();
}

void TInfoForm::FormCreate()
{
    TranslateForm(this);
}

void TInfoForm::Button1Click()
{
    accept();
}

void TInfoForm::ShowModal(QWidget *parent)
{
    TInfoForm form(parent);
    form.exec();
}
