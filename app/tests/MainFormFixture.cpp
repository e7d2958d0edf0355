#include "MainFormFixture.h"

#include "LanguageSelectionForm.h"
#include "RadioGroup.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

QByteArray SampleDeviceFile()
{
    return TempDeviceFolder::crlf({ "[Settings]", "Mode of Measurement=2", "Time Measurement=30",
        "Pulse Measurement=20", "Integration with remaining term=5", "Buzzer=1", "Pulse Precision Setting=1",
        "Buzzer Volume=2", "Current Meter=3", "Ground Feeler=0", "Auto ShutDown Period=10" });
}

QByteArray EnglishConfigurationIni()
{
    return TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000" });
}

void TypeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        const Qt::Key key
            = c.unicode() < 0x80 && c.isLetterOrNumber() ? Qt::Key(c.toUpper().unicode()) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Press, widget, key, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, key, QString(c), Qt::NoModifier);
    }
}

void ClickRadioButton(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

LanguageDialogAnswerer::LanguageDialogAnswerer(int item)
    : m_item(item)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &LanguageDialogAnswerer::poll);
    m_timer.start();
}

void LanguageDialogAnswerer::poll()
{
    auto *dialog = qobject_cast<TLanguageSelectionForm *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible() || m_answered)
        return;
    m_answered = true;
    if (m_item < 0) {
        dialog->close();
        return;
    }
    const QList<QRadioButton *> buttons = dialog->RadioGroup->findChildren<QRadioButton *>();
    if (m_item < buttons.size())
        ClickRadioButton(buttons.at(m_item));
    QTest::mouseClick(dialog->OKButton, Qt::LeftButton);
}

void MainFormTest::start()
{
    form = std::make_unique<TMainForm>(device.path());
    form->show();
    // An active window, so that the focus moves as it does for the user.
    if (form->isVisible()) {
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
}

void MainFormTest::retype(QLineEdit *field, const QString &text)
{
    // Some fields filter caret and delete keys, so the old text goes without keys.
    field->clear();
    TypeText(field, text);
}

void MainFormTest::pick(QComboBox *list, int index)
{
    list->showPopup();
    QAbstractItemView *view = list->view();
    view->setCurrentIndex(list->model()->index(index, 0));
    QTest::keyClick(view, Qt::Key_Return);
}

void MainFormTest::TearDown()
{
    // A field left holding a bad number may complain when the window lets go of the focus;
    // those complaints come after the test and are not what it checks.
    boxes.answerEveryBoxWith(QMessageBox::Ok);
    form.reset();
}

bool MainFormTest::closeWindow()
{
    return form->close();
}

void MainFormTest::startWith(const QByteArray &deviceFile, const QByteArray &configurationIni)
{
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), deviceFile);
    device.writeFile(QStringLiteral("Configuration.ini"), configurationIni);
    start();
    ASSERT_TRUE(form->isVisible());
}

void MainFormTest::startOnVelocityPage(const QByteArray &configurationIni)
{
    startWith(SampleDeviceFile(), configurationIni);
    form->PageControl1->setCurrentWidget(form->VelocityTabSheet);
}

void MainFormTest::clickEntry(int row)
{
    QListWidget *list = form->ConfigListBox;
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(row)).center());
}

QWidget *MainFormTest::focusOnceActive()
{
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return QApplication::focusWidget();
}
