#include "RemoveInfectedFiles.h"

#include "MessageBoxAnswerer.h"

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
