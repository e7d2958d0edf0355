#include "RadioGroup.h"
#include "QStringPrinter.h"

#include <QApplication>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace
{

QList<int> emitted(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &args : spy)
        values.append(args.at(0).toInt());
    return values;
}

QRadioButton *buttonOf(TRadioGroup &group, const QString &text)
{
    for (QRadioButton *button : group.findChildren<QRadioButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

TEST(RadioGroupTest, ItemIndexFollowsProgramChangesAndReportsEachOnce)
{
    TRadioGroup group;
    QSignalSpy changed(&group, &TRadioGroup::itemIndexChanged);
    EXPECT_EQ(group.itemIndex(), -1);

    group.setItems({ "a", "b", "c" });
    EXPECT_EQ(group.items(), QStringList({ "a", "b", "c" }));
    EXPECT_EQ(group.itemIndex(), -1);

    struct Step {
        int set;
        int expected;
    };
    // Setting the index it already has, or an index out of range, must behave sensibly.
    const Step steps[]
        = { { 1, 1 }, { 1, 1 }, { 2, 2 }, { -1, -1 }, { -1, -1 }, { 0, 0 }, { 7, -1 }, { 2, 2 } };
    QList<int> expectedSignals;
    int current = -1;
    for (const Step &s : steps) {
        group.setItemIndex(s.set);
        EXPECT_EQ(group.itemIndex(), s.expected) << "set " << s.set;
        if (s.expected != current)
            expectedSignals.append(s.expected);
        current = s.expected;
    }
    EXPECT_EQ(emitted(changed), expectedSignals);
}

TEST(RadioGroupTest, SetItemsKeepsTheIndexWhileItStillExists)
{
    TRadioGroup group;
    group.setItems({ "a", "b", "c" });
    group.setItemIndex(1);
    QSignalSpy changed(&group, &TRadioGroup::itemIndexChanged);

    group.setItems({ "A", "B", "C" }); // same count: texts only
    EXPECT_EQ(group.itemIndex(), 1);
    group.setItems({ "A", "B", "C", "D" });
    EXPECT_EQ(group.itemIndex(), 1);
    group.setItems({ "x", "y" });
    EXPECT_EQ(group.itemIndex(), 1);
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_EQ(group.items(), QStringList({ "x", "y" }));
    EXPECT_EQ(group.findChildren<QRadioButton *>().size(), 2);

    group.setItems({ "only" }); // the checked item goes away
    EXPECT_EQ(group.itemIndex(), -1);
    EXPECT_EQ(emitted(changed), QList<int>({ -1 }));

    group.setItems({});
    EXPECT_TRUE(group.items().isEmpty());
    group.setItemIndex(0);
    EXPECT_EQ(group.itemIndex(), -1);

    // Buttons created again after shrinking are exclusive like the first ones.
    group.setItems({ "p", "q", "r" });
    group.setItemIndex(2);
    group.setItemIndex(0);
    int checked = 0;
    for (QRadioButton *button : group.findChildren<QRadioButton *>())
        checked += button->isChecked() ? 1 : 0;
    EXPECT_EQ(checked, 1);
}

TEST(RadioGroupTest, UserCanChooseWithMouseAndArrowKeys)
{
    TRadioGroup group;
    group.setTitle("Type");
    group.setItems({ "Rod", "Cable", "Other" });
    group.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&group));
    QSignalSpy changed(&group, &TRadioGroup::itemIndexChanged);

    QRadioButton *cable = buttonOf(group, "Cable");
    QTest::mouseClick(cable, Qt::LeftButton, {}, QPoint(8, cable->height() / 2));
    EXPECT_EQ(group.itemIndex(), 1);

    group.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&group));
    buttonOf(group, "Cable")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    EXPECT_EQ(group.itemIndex(), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(group.itemIndex(), 0);
    EXPECT_EQ(QApplication::focusWidget(), buttonOf(group, "Rod"));
    EXPECT_EQ(emitted(changed), QList<int>({ 1, 2, 1, 0 }));
}

} // namespace
