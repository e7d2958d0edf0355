// Deleting an equation set: by the button, by the list's pop-up menu (mouse and keyboard),
// the questions and messages, and what "Configuration.ini" holds afterwards.
#include "FileSizeLimit.h"
#include "MainFormFixture.h"

#include "RadioGroup.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <sstream>

#include <unistd.h>

namespace
{

const QByteArray Settings = TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000" });
const QByteArray SetOne = TempDeviceFolder::crlf({ "[01]", "Name=Meter A", "BodyNr=47", "MountingType=Rod",
    "Boundary1=10", "Factor1=0.25", "Offset1=0.01" });
const QByteArray SetSeven = TempDeviceFolder::crlf({ "[07]", "Name=A", "BodyNr=7", "PropellerNr=8",
    "MountingType=Cable", "Boundary1=3", "Boundary2=", "Factor1=1", "Offset1=0", "; a comment of set 7" });
const QByteArray StoredSets = Settings + SetOne + SetSeven;

const QString DeleteQuestion = QStringLiteral("Do you really want to delete the equation?");
const QString NoEntryMessage
    = QStringLiteral("No or empty equation entry selected, please choose valid entry from list!");
const QString NotDeletedMessage
    = QStringLiteral("Could not delete equation, entry already empty or not in config file!");

// How the deletion is asked for.
enum class DeleteBy { Button, MenuByMouse, MenuByKeyboard };

void PrintTo(DeleteBy by, std::ostream *os)
{
    static const char *const names[] = { "Button", "MenuByMouse", "MenuByKeyboard" };
    *os << names[int(by)];
}

class DeletionTest : public MainFormTest, public ::testing::WithParamInterface<DeleteBy>
{
protected:
    void startShowingSetSeven(const QByteArray &configurationIni = StoredSets)
    {
        startOnVelocityPage(configurationIni);
        clickEntry(6);
        ASSERT_EQ(form->CurrentEquationSet, 7);
    }

    // Deletes the shown set the way the test's parameter says.
    void deleteShownSet()
    {
        QListWidget *list = form->ConfigListBox;
        switch (GetParam()) {
        case DeleteBy::Button:
            QTest::mouseClick(form->delbutton, Qt::LeftButton);
            return;
        case DeleteBy::MenuByMouse: {
            const QPoint onEntry = list->viewport()->mapTo(form.get(), list->visualItemRect(list->item(12)).center());
            QTest::mouseClick(form->windowHandle(), Qt::RightButton, Qt::NoModifier, onEntry);
            break;
        }
        case DeleteBy::MenuByKeyboard: {
            // The platform turns the context-menu key into this event for the focused widget.
            list->setFocus();
            QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(20, 20), list->mapToGlobal(QPoint(20, 20)));
            QApplication::sendEvent(list, &menuKey);
            break;
        }
        }
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->PopupMenu1->isVisible(); }, 2000));
        QMenu *menu = form->PopupMenu1;
        if (GetParam() == DeleteBy::MenuByKeyboard) {
            const QRect entry = list->visualItemRect(list->currentItem());
            EXPECT_EQ(menu->pos(), list->viewport()->mapToGlobal(entry.bottomLeft())) << "at the selected entry";
        }
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(form->DeleteEntry1).center());
    }
};

} // namespace

TEST_P(DeletionTest, YesRemovesTheSectionAndShowsTheSetEmpty)
{
    startShowingSetSeven();
    retype(form->PropellerNrEdit, QStringLiteral("unsaved"));
    boxes.answer(QMessageBox::Yes);

    deleteShownSet();

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, DeleteQuestion);
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(configurationIni(), Settings + SetOne);
    EXPECT_EQ(form->ConfigListBox->item(6)->text(), QStringLiteral("[07] "));
    EXPECT_EQ(form->ConfigListBox->currentRow(), 6) << "the right click selected nothing else";
    EXPECT_EQ(form->CurrentEquationSet, 7);
    for (QLineEdit *field : form->VelocityTabSheet->findChildren<QLineEdit *>())
        EXPECT_EQ(field->text(), QString()) << field->objectName().toStdString();
    EXPECT_EQ(form->TypeRadioGroup->itemIndex(), 0) << "a missing type reads as Rod";
    EXPECT_FALSE(form->VelocitySettingsModified);
    EXPECT_TRUE(form->SaveVelocitySettingsButton->isEnabled()) << "the reload's text changes enable it";
    EXPECT_FALSE(form->EquationSetsSaved);
}

TEST_P(DeletionTest, NoKeepsTheSectionAndStillDropsUnsavedEdits)
{
    startShowingSetSeven();
    retype(form->NameEdit, QStringLiteral("Renamed"));
    retype(form->Boundary1Edit, QStringLiteral("4"));
    boxes.answer(QMessageBox::No);

    deleteShownSet();

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, DeleteQuestion);
    EXPECT_EQ(configurationIni(), StoredSets);
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("A"));
    EXPECT_EQ(form->Boundary1Edit->text(), QStringLiteral("3"));
    EXPECT_EQ(form->Boundary1_Edit->text(), QStringLiteral("3"));
    EXPECT_EQ(form->TypeRadioGroup->itemIndex(), 1);
    EXPECT_EQ(form->ConfigListBox->item(6)->text(), QStringLiteral("[07] A"));
    EXPECT_FALSE(form->VelocitySettingsModified);
}

TEST_P(DeletionTest, ASetWithoutNameIsNotAskedFor)
{
    startOnVelocityPage(StoredSets);
    clickEntry(2);
    retype(form->NameEdit, QStringLiteral("typed, not saved"));
    boxes.answer(QMessageBox::Ok);

    deleteShownSet();

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, NoEntryMessage);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Vetu"));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(boxes.seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(configurationIni(), StoredSets);
    EXPECT_EQ(form->NameEdit->text(), QString()) << "the reload runs after the message too";
    EXPECT_FALSE(form->VelocitySettingsModified);
}

TEST_P(DeletionTest, AFileThatCannotBeWrittenKeepsTheSet)
{
    startShowingSetSeven();
    const QString path = device.filePath(QStringLiteral("Configuration.ini"));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    boxes.answer(QMessageBox::Yes);
    boxes.answer(QMessageBox::Ok);
    {
        FileSizeLimit refused(0); // refuses every write to a file
        deleteShownSet();
    }

    ASSERT_EQ(boxes.seen().size(), 2);
    EXPECT_EQ(boxes.seen()[0].text, DeleteQuestion);
    EXPECT_EQ(boxes.seen()[1].text, NotDeletedMessage);
    EXPECT_EQ(boxes.seen()[1].title, QStringLiteral("Vetu"));
    EXPECT_EQ(boxes.seen()[1].icon, QMessageBox::NoIcon);
    EXPECT_EQ(configurationIni(), StoredSets);
    EXPECT_EQ(form->ConfigListBox->item(6)->text(), QStringLiteral("[07] A"));
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("A"));
}

TEST_P(DeletionTest, WithoutConfigurationIniNothingHappensAtAll)
{
    startShowingSetSeven();
    retype(form->NameEdit, QStringLiteral("kept"));
    ASSERT_TRUE(QFile::remove(device.filePath(QStringLiteral("Configuration.ini"))));
    // No answer queued: a question here fails the test at once.
    deleteShownSet();

    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_FALSE(device.exists(QStringLiteral("Configuration.ini")));
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("kept"));
    EXPECT_TRUE(form->VelocitySettingsModified);
    EXPECT_EQ(form->ConfigListBox->item(6)->text(), QStringLiteral("[07] A"));
}

INSTANTIATE_TEST_SUITE_P(Ways, DeletionTest,
    ::testing::Values(DeleteBy::Button, DeleteBy::MenuByMouse, DeleteBy::MenuByKeyboard),
    [](const auto &info) {
        std::ostringstream name;
        PrintTo(info.param, &name);
        return name.str();
    });

TEST_F(MainFormTest, ADeletedSetCanBeFilledAndSavedAgain)
{
    startOnVelocityPage(StoredSets);
    clickEntry(6);
    boxes.answer(QMessageBox::Yes);
    QTest::mouseClick(form->delbutton, Qt::LeftButton);
    ASSERT_EQ(boxes.seen().size(), 1);

    TypeText(form->NameEdit, QStringLiteral("B"));
    TypeText(form->Boundary1Edit, QStringLiteral("5"));
    TypeText(form->Factor1Edit, QStringLiteral("2"));
    TypeText(form->Offset1Edit, QStringLiteral("1"));
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);

    EXPECT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(configurationIni(),
        Settings + SetOne
            + TempDeviceFolder::crlf({ "[07]", "Name=B", "BodyNr=", "PropellerNr=", "MountingType=Rod",
                "Boundary1=5", "Boundary2=", "Boundary3=", "Factor1=2", "Factor2=", "Factor3=", "Factor4=",
                "Offset1=1", "Offset2=", "Offset3=", "Offset4=" }));
    EXPECT_EQ(form->ConfigListBox->item(6)->text(), QStringLiteral("[07] B"));
    EXPECT_FALSE(form->SaveVelocitySettingsButton->isEnabled());
}
