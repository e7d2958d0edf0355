#include "RemoveInfectedFiles.h"

#include "MessageBoxAnswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

TEST(QtCleanupMessagesTest, ShowsAPlainBoxTitledVetuWithOneOkButton)
{
    MessageBoxAnswerer answerer;
    answerer.answer(QMessageBox::Ok);
    vetu::QtCleanupMessages messages;
    const QString text = QStringLiteral("Infected File NETSVCS.EXE could not be removed\r\nPlease contact Fennik service");
    messages.show(text);
    ASSERT_EQ(answerer.seen().size(), 1);
    EXPECT_EQ(answerer.seen()[0].title, QStringLiteral("Vetu"));
    EXPECT_EQ(answerer.seen()[0].text, text);
    EXPECT_EQ(answerer.seen()[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(answerer.seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(answerer.pending(), 0);
}

// A name from the drive that looks like markup is shown as the characters it is made of.
TEST(QtCleanupMessagesTest, NamesThatLookLikeMarkupAreShownAsText)
{
    const QString text = QStringLiteral("Infected File <h1>BIG <font color=red>sub could not be removed\r\n"
                                        "Please contact Fennik service");
    ASSERT_TRUE(Qt::mightBeRichText(text));
    Qt::TextFormat boxFormat = Qt::AutoText;
    Qt::TextFormat labelFormat = Qt::AutoText;
    QString labelText;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        boxFormat = box->textFormat();
        if (auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"))) {
            labelFormat = label->textFormat();
            labelText = label->text();
        }
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    vetu::QtCleanupMessages messages;
    messages.show(text);
    EXPECT_EQ(boxFormat, Qt::PlainText);
    EXPECT_EQ(labelFormat, Qt::PlainText);
    EXPECT_EQ(labelText, text);
}
