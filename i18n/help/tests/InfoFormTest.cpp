#include "InfoForm.h"

#include "TextTable.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

class InfoFormTest : public ::testing::Test {
protected:
    void SetUp() override { m_savedOffset = LanguageOffset; }
    void TearDown() override { LanguageOffset = m_savedOffset; }

    // Runs action on the dialog once its modal loop is running.
    static void WhenShown(const std::function<void(TInfoForm *)> &action)
    {
        QTimer::singleShot(0, [action] {
            auto *form = qobject_cast<TInfoForm *>(QApplication::activeModalWidget());
            ASSERT_NE(form, nullptr);
            action(form);
        });
    }

    int m_savedOffset = 0;
};

TEST_F(InfoFormTest, ShowsTheProgramNameOfTheLanguageAndTheFixedVersion)
{
    const struct {
        int offset;
        const char *name;
    } cases[] = {
        {GermanOffset, "Bediensoftware Vetu"},
        {EnglishOffset, "Application Software for Vetu"},
        {FrenchOffset, "Logiciel de paramétrage Vetu"},
        {SpanishOffset, "Programa de operación Vetu"},
    };
    for (const auto &c : cases) {
        LanguageOffset = c.offset;
        TInfoForm form;
        EXPECT_EQ(form.Label1->text(), QString::fromUtf8(c.name)) << c.offset;
        EXPECT_EQ(form.Label2->text(), QStringLiteral("Version 1.04.1")) << c.offset;
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Info")) << c.offset;
        EXPECT_EQ(form.Button1->text(), QStringLiteral("OK")) << c.offset;
    }
}

TEST_F(InfoFormTest, LayoutAndPicture)
{
    TInfoForm form;
    EXPECT_EQ(form.size(), QSize(404, 181));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_TRUE(form.isModal());
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(form.Image->size(), QSize(81, 49));
    EXPECT_EQ(form.Image->geometry().right(), 404 - 8 - 1);
    EXPECT_EQ(form.Image->y(), 8);
    EXPECT_TRUE(form.Image->hasScaledContents());
    const QPixmap picture = form.Image->pixmap();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(181, 106));
    EXPECT_FALSE(picture.toImage().allGray());
    EXPECT_EQ(form.findChild<QLabel *>(QStringLiteral("Label1")), form.Label1);
    EXPECT_EQ(form.findChild<QPushButton *>(QStringLiteral("Button1")), form.Button1);
    EXPECT_TRUE(form.Button1->isDefault());
}

TEST_F(InfoFormTest, ClosesWithOkEnterAndEscape)
{
    const struct {
        const char *how;
        std::function<void(TInfoForm *)> close;
        int result;
    } cases[] = {
        {"OK click", [](TInfoForm *f) { QTest::mouseClick(f->Button1, Qt::LeftButton); }, QDialog::Accepted},
        {"Enter", [](TInfoForm *f) { QTest::keyClick(f, Qt::Key_Return); }, QDialog::Accepted},
        {"Escape", [](TInfoForm *f) { QTest::keyClick(f, Qt::Key_Escape); }, QDialog::Rejected},
    };
    for (const auto &c : cases) {
        TInfoForm form;
        WhenShown(c.close);
        EXPECT_EQ(form.exec(), c.result) << c.how;
        EXPECT_FALSE(form.isVisible()) << c.how;
    }
}

TEST_F(InfoFormTest, ShowModalCentresAFreshDialogOnItsParent)
{
    QWidget parent;
    parent.setGeometry(100, 120, 800, 600);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    QPoint dialogCentre;
    bool closed = false;
    WhenShown([&](TInfoForm *form) {
        EXPECT_EQ(form->parentWidget(), &parent);
        dialogCentre = form->frameGeometry().center();
        QTest::mouseClick(form->Button1, Qt::LeftButton);
        closed = true;
    });
    TInfoForm::ShowModal(&parent);
    ASSERT_TRUE(closed);
    const QPoint parentCentre = parent.frameGeometry().center();
    EXPECT_LE((dialogCentre - parentCentre).manhattanLength(), 4);
    // The dialog was released when ShowModal returned.
    EXPECT_EQ(parent.findChild<TInfoForm *>(), nullptr);
}

} // namespace
