#include "LanguageSelectionForm.h"
#include "QStringPrinter.h"
#include "RadioGroup.h"
#include "TextTable.h"

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>

namespace
{

class LanguageSelectionFormTest : public ::testing::Test
{
protected:
    void TearDown() override { LanguageOffset = GermanOffset; }

    // Runs the dialog modally, as the main window does, while `user` acts on it.
    // A stuck dialog is rejected after a while so a failing test cannot hang.
    int runModal(TLanguageSelectionForm &dialog, const std::function<void()> &user)
    {
        QTimer::singleShot(0, &dialog, [&dialog, user] {
            if (!QTest::qWaitForWindowActive(&dialog))
                ADD_FAILURE() << "dialog never became active";
            user();
        });
        QTimer::singleShot(10000, &dialog, [&dialog] {
            if (dialog.isVisible()) {
                ADD_FAILURE() << "dialog still open";
                dialog.done(-1);
            }
        });
        return dialog.exec();
    }

    static QRadioButton *item(TLanguageSelectionForm &dialog, const char *text)
    {
        for (QRadioButton *button : dialog.RadioGroup->findChildren<QRadioButton *>())
            if (button->text() == QString::fromUtf8(text))
                return button;
        return nullptr;
    }

    // Clicks where a user would: on the button's circle and label, which is all of
    // it that reacts; the button itself stretches across the group.
    static void clickItem(TLanguageSelectionForm &dialog, const char *text)
    {
        QRadioButton *button = item(dialog, text);
        ASSERT_NE(button, nullptr) << text;
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }
};

TEST_F(LanguageSelectionFormTest, IsLaidOutAsDesigned)
{
    TLanguageSelectionForm dialog;
    const QString caption = "Language / Sprache / Langue /  Lengua";
    EXPECT_EQ(dialog.objectName(), "LanguageSelectionForm");
    EXPECT_EQ(dialog.windowTitle(), caption);
    EXPECT_TRUE(dialog.isModal());
    EXPECT_EQ(dialog.size(), QSize(414, 241));
    EXPECT_EQ(dialog.RadioGroup->objectName(), "RadioGroup");
    EXPECT_EQ(dialog.RadioGroup->title(), caption);
    EXPECT_EQ(dialog.RadioGroup->items(),
        QStringList({ "English", "Deutsch", QString::fromUtf8("Français"), QString::fromUtf8("Español") }));
    EXPECT_EQ(dialog.RadioGroup->itemIndex(), 0);
    EXPECT_EQ(dialog.OKButton->objectName(), "OKButton");
    EXPECT_EQ(dialog.OKButton->text(), "OK");
    EXPECT_TRUE(dialog.OKButton->isDefault());
    EXPECT_EQ(dialog.findChild<TRadioGroup *>("RadioGroup"), dialog.RadioGroup);
    EXPECT_EQ(dialog.findChild<QPushButton *>("OKButton"), dialog.OKButton);
}

// With a large desktop font the dialog grows so that every language and OK show whole.
TEST_F(LanguageSelectionFormTest, GrowsForALargeDesktopFont)
{
    const QFont desktopFont = QApplication::font();
    QFont large = desktopFont;
    large.setPixelSize(24);
    QApplication::setFont(large);
    TLanguageSelectionForm dialog;
    dialog.show();
    QApplication::setFont(desktopFont);
    EXPECT_GE(dialog.width(), 414);
    EXPECT_GE(dialog.height(), 241);
    EXPECT_TRUE(dialog.rect().contains(dialog.OKButton->geometry()));
    for (QRadioButton *button : dialog.RadioGroup->findChildren<QRadioButton *>()) {
        EXPECT_TRUE(dialog.RadioGroup->rect().contains(button->geometry())) << button->text().toStdString();
        EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()), button->width()) << button->text().toStdString();
    }
    EXPECT_LE(dialog.OKButton->fontMetrics().height(), dialog.OKButton->height());
}

TEST_F(LanguageSelectionFormTest, MouseChoiceSetsTheOffsetOfEachItem)
{
    struct Case {
        const char *item;
        int offset;
    };
    const Case cases[] = {
        { "Français", FrenchOffset },
        { "English", EnglishOffset },
        { "Deutsch", GermanOffset },
        { "Español", SpanishOffset },
    };
    for (const Case &c : cases) {
        LanguageOffset = -1;
        TLanguageSelectionForm dialog;
        const int result = runModal(dialog, [&] {
            clickItem(dialog, c.item);
            QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        });
        EXPECT_EQ(result, QDialog::Accepted) << c.item;
        EXPECT_EQ(LanguageOffset, c.offset) << c.item;
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(LanguageSelectionFormTest, KeyboardArrowsAndEnterChoose)
{
    struct Case {
        std::vector<Qt::Key> keys;
        int offset;
    };
    const Case cases[] = {
        { { Qt::Key_Return }, EnglishOffset },
        { { Qt::Key_Down, Qt::Key_Down, Qt::Key_Enter }, FrenchOffset },
        { { Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return }, SpanishOffset },
        { { Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Return }, GermanOffset },
    };
    for (const Case &c : cases) {
        LanguageOffset = -1;
        TLanguageSelectionForm dialog;
        const int result = runModal(dialog, [&] {
            for (Qt::Key key : c.keys) {
                QWidget *focus = QApplication::focusWidget();
                if (!focus) {
                    ADD_FAILURE() << "no keyboard focus";
                    return;
                }
                QTest::keyClick(focus, key);
            }
        });
        EXPECT_EQ(result, QDialog::Accepted) << c.keys.size();
        EXPECT_EQ(LanguageOffset, c.offset) << c.keys.size();
    }
}

TEST_F(LanguageSelectionFormTest, ClosingByTheCloseBoxLeavesTheOffset)
{
    LanguageOffset = -1;
    TLanguageSelectionForm dialog;
    const int result = runModal(dialog, [&] {
        clickItem(dialog, "Español");
        EXPECT_EQ(dialog.RadioGroup->itemIndex(), 3);
        dialog.windowHandle()->close();
    });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(LanguageOffset, -1);
    EXPECT_FALSE(dialog.isVisible());
}

// Escape is no answer: the dialog stays open, wherever the keyboard focus is, and the
// choice made afterwards counts.
TEST_F(LanguageSelectionFormTest, EscapeIsIgnored)
{
    LanguageOffset = -1;
    TLanguageSelectionForm dialog;
    const int result = runModal(dialog, [&] {
        clickItem(dialog, "Français");
        for (QWidget *target : { QApplication::focusWidget(), static_cast<QWidget *>(dialog.OKButton),
                 static_cast<QWidget *>(&dialog) }) {
            ASSERT_NE(target, nullptr);
            QTest::keyClick(target, Qt::Key_Escape);
            EXPECT_TRUE(dialog.isVisible()) << target->metaObject()->className();
            EXPECT_EQ(LanguageOffset, -1);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(LanguageOffset, FrenchOffset);
}

TEST_F(LanguageSelectionFormTest, OkWithNothingSelectedLeavesTheOffset)
{
    LanguageOffset = 20000;
    TLanguageSelectionForm dialog;
    dialog.RadioGroup->setItemIndex(-1);
    const int result = runModal(dialog, [&] { QTest::mouseClick(dialog.OKButton, Qt::LeftButton); });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(LanguageOffset, 20000);
}

} // namespace
