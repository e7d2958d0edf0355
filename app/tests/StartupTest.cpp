// Start-up of the window: the device file check, the first start with the language
// question, and loading whatever the two files hold.
#include "MainFormFixture.h"

#include "RadioGroup.h"
#include "TextTable.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTabWidget>

namespace
{

const QString GermanMissingFileMessage = QStringLiteral(
    "Datei Vetu-Configuration.txt nicht gefunden.\r\nBitte schalten Sie das Ger\u00e4t aus und wieder ein!");

struct MissingDeviceCase {
    const char *name;
    // How the device file looks: absent, zero bytes, or a folder of that name.
    enum { Absent, Empty, Folder } device;
    bool withConfigurationIni;
};

class MissingDeviceFileTest : public MainFormTest, public ::testing::WithParamInterface<MissingDeviceCase>
{
};

} // namespace

TEST_P(MissingDeviceFileTest, ShowsTheGermanMessageAndEndsWithoutWritingAnything)
{
    const MissingDeviceCase c = GetParam();
    if (c.device == MissingDeviceCase::Empty)
        device.writeFile(QStringLiteral("Vetu-Configuration.txt"), {});
    if (c.device == MissingDeviceCase::Folder)
        QDir(device.path()).mkdir(QStringLiteral("Vetu-Configuration.txt"));
    if (c.withConfigurationIni)
        device.writeFile(QStringLiteral("Configuration.ini"), EnglishConfigurationIni());
    const QStringList before
        = QDir(device.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    LanguageOffset = 0; // as at the start of the program

    boxes.answer(QMessageBox::Ok);
    start();

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, GermanMissingFileMessage);
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(form->StartAborted);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(LanguageOffset, 0) << "the stored language is never read";
    EXPECT_EQ(QDir(device.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    if (c.withConfigurationIni) {
        EXPECT_EQ(device.readFile(QStringLiteral("Configuration.ini")), EnglishConfigurationIni());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingDeviceFileTest,
    ::testing::Values(MissingDeviceCase { "Absent", MissingDeviceCase::Absent, false },
        MissingDeviceCase { "AbsentWithEnglishChosen", MissingDeviceCase::Absent, true },
        MissingDeviceCase { "ZeroBytes", MissingDeviceCase::Empty, false },
        MissingDeviceCase { "ZeroBytesWithEnglishChosen", MissingDeviceCase::Empty, true },
        MissingDeviceCase { "FolderOfThatName", MissingDeviceCase::Folder, false }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MainFormTest, FirstStartAsksTheLanguageStoresItAndShowsThirtyEmptySets)
{
    LanguageOffset = 0;
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), SampleDeviceFile());
    LanguageDialogAnswerer language(2); // Français

    start();

    EXPECT_TRUE(language.answered());
    EXPECT_TRUE(boxes.seen().isEmpty());
    ASSERT_TRUE(form->isVisible());
    EXPECT_EQ(device.readFile(QStringLiteral("Configuration.ini")),
        TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=20000" }));
    EXPECT_EQ(LanguageOffset, 20000);
    EXPECT_EQ(form->PageControl1->tabText(0), QStringLiteral("Param\u00e8tres g\u00e9n\u00e9raux"));
    EXPECT_EQ(form->windowTitle(), LoadText(1));
    ASSERT_EQ(form->ConfigListBox->count(), 30);
    for (int i = 0; i < 30; ++i)
        EXPECT_EQ(form->ConfigListBox->item(i)->text(),
            QStringLiteral("[%1] ").arg(i + 1, 2, 10, QLatin1Char('0')));
    EXPECT_EQ(form->ConfigListBox->currentRow(), 0);
    EXPECT_EQ(form->CurrentEquationSet, 1);
    for (QLineEdit *field : form->findChildren<QLineEdit *>())
        EXPECT_TRUE(field->text().isEmpty()) << field->objectName().toStdString();
    EXPECT_EQ(form->TypeRadioGroup->itemIndex(), 0);
    EXPECT_FALSE(form->VelocitySettingsModified);
    EXPECT_FALSE(form->GeneralSettingsModified);
    EXPECT_FALSE(form->SaveGeneralSettingsButton->isEnabled());
    EXPECT_FALSE(form->SaveVelocitySettingsButton->isEnabled());
    // The device file is only read at start.
    EXPECT_EQ(device.readFile(QStringLiteral("Vetu-Configuration.txt")), SampleDeviceFile());
}

TEST_F(MainFormTest, LanguageDialogClosedWithoutChoiceStoresMinusOneAndTheRunSpeaksGerman)
{
    LanguageOffset = 0;
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), SampleDeviceFile());
    LanguageDialogAnswerer language(-1);

    start();

    EXPECT_TRUE(language.answered());
    ASSERT_TRUE(form->isVisible());
    EXPECT_EQ(device.readFile(QStringLiteral("Configuration.ini")),
        TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=-1" }));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Bediensoftware Vetu"));
    EXPECT_EQ(form->DefaultMeasuringModeComboBox->itemText(0), QStringLiteral("Impulsmessung"));
}

TEST_F(MainFormTest, LanguageThatCannotBeStoredIsReportedAndTheWindowStillStartsInIt)
{
    LanguageOffset = 0;
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), SampleDeviceFile());
    // A folder where the file should be: reads find nothing, writes are refused.
    ASSERT_TRUE(QDir(device.path()).mkdir(QStringLiteral("Configuration.ini")));
    LanguageDialogAnswerer language(3); // Español
    boxes.answer(QMessageBox::Ok);

    start();

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Vetu"));
    EXPECT_EQ(
        boxes.seen()[0].text, QStringLiteral("Unable to write to ") + device.filePath("Configuration.ini"));
    ASSERT_TRUE(form->isVisible());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Programa de operaci\u00f3n Vetu"));
    EXPECT_EQ(form->TimeComboBox->currentText(), QStringLiteral("30")) << "the general settings are loaded";
    EXPECT_EQ(form->ConfigListBox->item(29)->text(), QStringLiteral("[30] "));
    EXPECT_FALSE(form->GeneralSettingsModified);
}

TEST_F(MainFormTest, StoredLanguageIsUsedWithoutAskingAndEveryTaggedCaptionIsTranslated)
{
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), SampleDeviceFile());
    device.writeFile(
        QStringLiteral("Configuration.ini"), TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=0" }));
    LanguageDialogAnswerer language(0);

    start();

    EXPECT_FALSE(language.answered());
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Bediensoftware Vetu"));
    // Labels designed with a colon keep it; "minutes." loses its period.
    EXPECT_EQ(form->Label22->text(), LoadText(21) + QLatin1Char(':'));
    EXPECT_EQ(form->Label27->text(), LoadText(37));
    EXPECT_EQ(form->BuzzerModeComboBox->itemText(1), QStringLiteral("EIN"));
    EXPECT_EQ(
        form->TypeRadioGroup->items(), QStringList({ QStringLiteral("Stange"), QStringLiteral("Kabel") }));
    // The grid's own labels are never translated.
    QStringList gridTexts;
    for (QLabel *label : form->GroupBox2->findChildren<QLabel *>())
        if (label->property("Tag").toInt() == 0)
            gridTexts << label->text();
    EXPECT_EQ(gridTexts.count(QStringLiteral("v = ")), 4);
    EXPECT_EQ(gridTexts.count(QStringLiteral("<= n <")), 2);
    EXPECT_TRUE(gridTexts.contains(QStringLiteral("   n <")));
    EXPECT_TRUE(gridTexts.contains(QStringLiteral("<= n")));
    // The loaded selections survive the translation of the lists.
    EXPECT_EQ(form->DefaultMeasuringModeComboBox->currentIndex(), 1);
    EXPECT_EQ(form->GroundFeelerModeComboBox->currentText(), QStringLiteral("AUS"));
}

TEST_F(MainFormTest, SampleDeviceFileLoadsItsValues)
{
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), SampleDeviceFile());
    device.writeFile(QStringLiteral("Configuration.ini"), EnglishConfigurationIni());
    start();
    ASSERT_TRUE(form->isVisible());
    EXPECT_EQ(form->DefaultMeasuringModeComboBox->currentText(), QStringLiteral("Time Mode"));
    EXPECT_EQ(form->TimeComboBox->currentText(), QStringLiteral("30"));
    EXPECT_EQ(form->PulsesComboBox->currentText(), QStringLiteral("20"));
    EXPECT_EQ(form->RemainingTermComboBox->currentText(), QStringLiteral("5"));
    EXPECT_EQ(form->BuzzerModeComboBox->currentText(), QStringLiteral("ON"));
    EXPECT_EQ(form->PulsePrecisionComboBox->currentText(), QStringLiteral("0.1"));
    EXPECT_EQ(form->BuzzerVolumeComboBox->currentText(), QStringLiteral("2"));
    EXPECT_EQ(form->VelocityCurrentMeterComboBox->currentText(), QStringLiteral("3"));
    EXPECT_EQ(form->GroundFeelerModeComboBox->currentText(), QStringLiteral("OFF"));
    EXPECT_EQ(form->AutoShutDownPeriodComboBox->currentText(), QStringLiteral("10"));
    EXPECT_EQ(form->PageControl1->currentWidget(), form->GeneralTabSheet);
    EXPECT_FALSE(form->GeneralSettingsModified);
    EXPECT_FALSE(form->SaveGeneralSettingsButton->isEnabled());
}

namespace
{

// What the ten lists show, as positions, in the order of the device file's keys.
struct ShownSettings {
    int mode, time, pulses, remainingTerm, buzzer, precision, volume, meter, groundFeeler, autoShutDown;
    bool operator==(const ShownSettings &) const = default;
};

std::ostream &operator<<(std::ostream &out, const ShownSettings &s)
{
    return out << s.mode << ',' << s.time << ',' << s.pulses << ',' << s.remainingTerm << ',' << s.buzzer
               << ',' << s.precision << ',' << s.volume << ',' << s.meter << ',' << s.groundFeeler << ','
               << s.autoShutDown;
}

ShownSettings Shown(const TMainForm &form)
{
    return { form.DefaultMeasuringModeComboBox->currentIndex(), form.TimeComboBox->currentIndex(),
        form.PulsesComboBox->currentIndex(), form.RemainingTermComboBox->currentIndex(),
        form.BuzzerModeComboBox->currentIndex(), form.PulsePrecisionComboBox->currentIndex(),
        form.BuzzerVolumeComboBox->currentIndex(), form.VelocityCurrentMeterComboBox->currentIndex(),
        form.GroundFeelerModeComboBox->currentIndex(), form.AutoShutDownPeriodComboBox->currentIndex() };
}

// Pulse Mode, 50, 10, 6, precision 1, buzzer ON, volume 2, meter 1, ground feeler AUTO, 3 minutes.
constexpr ShownSettings Defaults { 0, 6, 0, 5, 1, 0, 1, 0, 2, 3 };

QByteArray Binary(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(4711);
    for (char &byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

QByteArray TenMegabytesThen(const QByteArray &tail)
{
    QByteArray bytes;
    bytes.reserve(10 * 1024 * 1024 + tail.size());
    const QByteArray line = "Filler=0123456789012345678901234567890123456789\r\n";
    bytes += "[Filler]\r\n";
    while (bytes.size() < 10 * 1024 * 1024)
        bytes += line;
    return bytes + tail;
}

struct BadInputCase {
    const char *name;
    QByteArray deviceFile;
    QByteArray configurationIni; // empty: no file
    ShownSettings expected;
};

class BadInputTest : public MainFormTest, public ::testing::WithParamInterface<BadInputCase>
{
};

} // namespace

TEST_P(BadInputTest, WindowLoadsWithTheDocumentedValues)
{
    const BadInputCase &c = GetParam();
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), c.deviceFile);
    if (!c.configurationIni.isEmpty())
        device.writeFile(QStringLiteral("Configuration.ini"), c.configurationIni);
    LanguageDialogAnswerer language(0);

    start();

    ASSERT_TRUE(form->isVisible());
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_EQ(Shown(*form), c.expected);
    EXPECT_EQ(form->BuzzerVolumeComboBox->isEnabled(), c.expected.buzzer > 0);
    EXPECT_EQ(form->ConfigListBox->count(), 30);
    EXPECT_FALSE(form->GeneralSettingsModified);
    EXPECT_FALSE(form->VelocitySettingsModified);
    EXPECT_EQ(device.readFile(QStringLiteral("Vetu-Configuration.txt")), c.deviceFile)
        << "loading writes nothing";
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest,
    ::testing::Values(
        BadInputCase { "OneEmptyLineCountsAsPresent", "\r\n", EnglishConfigurationIni(), Defaults },
        BadInputCase { "EmptySettingsSection", "[Settings]\r\n", EnglishConfigurationIni(), Defaults },
        BadInputCase {
            "NoSettingsSection", "[Device]\r\nSerial=42\r\n", EnglishConfigurationIni(), Defaults },
        BadInputCase { "Binary", Binary(4096), Binary(4096), Defaults },
        BadInputCase { "TenMegabytes", TenMegabytesThen("[Settings]\r\nBuzzer=0\r\nTime Measurement=120\r\n"),
            TenMegabytesThen("[Settings]\r\nLanguageOffset=10000\r\n[03]\r\nName=X\r\n"),
            ShownSettings { 0, 10, 0, 5, 0, 0, 1, 0, 2, 3 } },
        BadInputCase { "LinesWithoutEqualsAndNoFinalLineBreak",
            "[Settings]\r\ngarbage\r\n=\r\nBuzzer=3\r\nGround Feeler=1",
            "[Settings]\r\nnonsense\r\nLanguageOffset=10000",
            ShownSettings { 0, 6, 0, 5, 3, 0, 1, 0, 1, 3 } },
        BadInputCase { "DuplicateKeysAndSections",
            "[Settings]\r\nPulse Measurement=25\r\nPulse Measurement=25\r\n[SETTINGS]\r\n"
            "Pulse Measurement=25\r\n",
            "[Settings]\r\nLanguageOffset=10000\r\n[01]\r\nName=A\r\n[01]\r\nName=A\r\n",
            ShownSettings { 0, 6, 15, 5, 1, 0, 1, 0, 2, 3 } },
        BadInputCase { "ValuesOutOfRangeAndNotNumbers",
            "[Settings]\r\nMode of Measurement=9\r\nTime Measurement=7\r\nIntegration with remaining "
            "term=11\r\nBuzzer=x\r\nBuzzer Volume=5\r\nCurrent Meter=-4\r\nGround Feeler=7\r\nAuto "
            "ShutDown Period=60\r\n",
            EnglishConfigurationIni(), ShownSettings { -1, 6, 0, 0, 1, 0, -1, -1, -1, -1 } },
        BadInputCase { "Utf8InsteadOfWindows1252",
            "[Settings]\r\n\xc3\x84nderung=\xc3\xbc\r\nMode of Measurement=3\r\nTime Measurement= 15 \r\n",
            "[Settings]\r\nLanguageOffset=10000\r\n[01]\r\nName=Gr\xc3\xb6\xc3\x9f\x65\r\n",
            ShownSettings { 2, 2, 0, 5, 1, 0, 1, 0, 2, 3 } }),
    [](const auto &info) { return std::string(info.param.name); });

// With the font the design was made for, the controls stand where they were designed;
// only the number fields are wider, so that twelve characters show.
TEST_F(MainFormTest, WindowHasTheDesignedGeometry)
{
    const QFont desktopFont = QApplication::font();
    QFont designFont = desktopFont;
    designFont.setPixelSize(11);
    QApplication::setFont(designFont);
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), SampleDeviceFile());
    device.writeFile(QStringLiteral("Configuration.ini"), EnglishConfigurationIni());
    start();
    QApplication::setFont(desktopFont);
    EXPECT_EQ(form->PageControl1->pos(), QPoint(8, 8));
    EXPECT_GE(form->PageControl1->width(), 644);
    EXPECT_GE(form->PageControl1->height(), 577);
    EXPECT_EQ(form->SaveGeneralSettingsButton->geometry(), QRect(8, 520, 193, 25));
    EXPECT_EQ(form->SaveVelocitySettingsButton->geometry(), QRect(8, 472, 121, 25));
    EXPECT_EQ(form->ConfigListBox->geometry(), QRect(8, 24, 257, 441));
    EXPECT_EQ(form->MeasuringModeGroupBox->geometry(), QRect(8, 8, 617, 337));
    EXPECT_FALSE(form->ImportButton->isVisible());
    EXPECT_FALSE(form->ImportButton->isEnabled());
    EXPECT_FALSE(form->Boundary1_Edit->isEnabled());
    EXPECT_TRUE(form->Boundary1_Edit->isReadOnly());
    EXPECT_FALSE(form->findChild<QWidget *>(QStringLiteral("RichEdit"))->isVisible());
    // Every page control sits inside the visible part of its page.
    for (QWidget *page : { form->GeneralTabSheet, form->VelocityTabSheet })
        for (QWidget *child : page->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            EXPECT_TRUE(page->rect().contains(child->geometry()) || !child->isVisible())
                << child->objectName().toStdString();
}

// The clean-up's messages name what it found on the drive exactly, markup-like names too,
// before the window is shown.
TEST_F(MainFormTest, CleanupMessagesNameAMarkupLikeEntryAsItIs)
{
    const QString name = QStringLiteral("<h1>BIG <font color=red>sub");
    ASSERT_TRUE(QDir(device.path()).mkpath(QStringLiteral("Recycled/") + name));
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), SampleDeviceFile());
    device.writeFile(QStringLiteral("Configuration.ini"), EnglishConfigurationIni());
    boxes.answer(QMessageBox::Ok);
    start();
    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Vetu"));
    EXPECT_EQ(boxes.seen()[0].text,
        QStringLiteral("Infected File ") + name + QStringLiteral(" could not be removed\r\nPlease contact Fennik service"));
    EXPECT_TRUE(form->isVisible());
}
