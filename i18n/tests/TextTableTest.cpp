#include "TextSource.h"
#include "TextTable.h"
#include "QStringPrinter.h"

#include <QHash>
#include <QSet>
#include <gtest/gtest.h>

namespace
{

// Restores the process-wide language after each test.
class TextTableTest : public ::testing::Test
{
protected:
    void TearDown() override { LanguageOffset = GermanOffset; }
};

// The compiled table with entries of the test's own laid over it; counts every read.
class TableWithEntries : public TextSource
{
public:
    void set(int number, const QString &text) { m_entries.insert(number, text); }
    QString entry(int number) const override
    {
        ++reads;
        const auto it = m_entries.constFind(number);
        return it != m_entries.cend() ? it.value() : TextTableEntry(number);
    }
    mutable int reads = 0;

private:
    QHash<int, QString> m_entries;
};

const int Offsets[] = { GermanOffset, EnglishOffset, FrenchOffset, SpanishOffset };

QList<int> textIdsInUse()
{
    QList<int> ids;
    const std::pair<int, int> ranges[]
        = { { 1, 13 }, { 20, 24 }, { 27, 47 }, { 50, 55 }, { 60, 63 }, { 65, 74 }, { 78, 81 }, { 91, 91 } };
    for (const auto &[first, last] : ranges)
        for (int id = first; id <= last; ++id)
            ids.append(id);
    return ids;
}

TEST_F(TextTableTest, HoldsExactlyTheTextIdsInUseInAllFourBlocks)
{
    const QList<int> ids = textIdsInUse();
    ASSERT_EQ(ids.size(), 64);
    QList<int> expected;
    for (int offset : Offsets)
        for (int id : ids)
            expected.append(id + offset);
    EXPECT_EQ(TextTableNumbers(), expected);
    for (int number : expected)
        EXPECT_FALSE(TextTableEntry(number).isEmpty()) << number;
    EXPECT_TRUE(TextTableEntry(14).isNull());
    EXPECT_TRUE(TextTableEntry(10000).isNull());
}

TEST_F(TextTableTest, TextsCarryNoAmpersandAndOnlyText73HasThePlaceholder)
{
    for (int number : TextTableNumbers()) {
        const QString text = TextTableEntry(number);
        EXPECT_FALSE(text.contains(u'&')) << number;
        EXPECT_EQ(text.count(u'~'), number % 10000 == 73 ? 1 : 0) << number;
        // French uses the typographic apostrophe, never the typewriter one.
        EXPECT_FALSE(text.contains(u'\'')) << number;
    }
}

struct ExactText {
    int id;
    int offset;
    const char *text;
};

// Texts fixed by the product: the English block, the rows given in all languages,
// and the German start-up message.
const ExactText ExactTexts[] = {
    { 1, EnglishOffset, "Application Software for Vetu" },
    { 2, EnglishOffset, "File" },
    { 3, EnglishOffset, "Exit" },
    { 4, EnglishOffset, "Help" },
    { 5, EnglishOffset, "Info" },
    { 6, EnglishOffset, "General Settings" },
    { 7, EnglishOffset, "Velocity Measuring" },
    { 8, EnglishOffset, "Measuring Mode" },
    { 9, EnglishOffset, "Default Measuring Mode" },
    { 10, EnglishOffset, "Pulse Mode" },
    { 11, EnglishOffset, "Time Mode" },
    { 12, EnglishOffset, "Integration Mode" },
    { 13, EnglishOffset, "Integration Mode with Remaining Term" },
    { 20, EnglishOffset, "Ground Feeler" },
    { 21, EnglishOffset, "Mode" },
    { 22, EnglishOffset, "OFF" },
    { 23, EnglishOffset, "ON" },
    { 24, EnglishOffset, "AUTO" },
    { 27, EnglishOffset, "Time to measure [seconds]" },
    { 28, EnglishOffset, "Number of pulses" },
    { 29, EnglishOffset, "Seconds for remaining term" },
    { 30, EnglishOffset, "Pulse Precision" },
    { 31, EnglishOffset, "Velocity Option" },
    { 32, EnglishOffset, "Default Current Meter For Velocity Measuring" },
    { 33, EnglishOffset, "Buzzer" },
    { 34, EnglishOffset, "Volume (1-2)" },
    { 35, EnglishOffset, "Automatic Shut Down" },
    { 36, EnglishOffset, "Shut down device automatically after" },
    { 37, EnglishOffset, "minutes" },
    { 38, EnglishOffset, "[0 = No Auto Shut Down]" },
    { 39, EnglishOffset, "Save Settings" },
    { 40, EnglishOffset, "Equation Sets" },
    { 41, EnglishOffset, "Configuration Name" },
    { 42, EnglishOffset, "Current Meter" },
    { 43, EnglishOffset, "Serialnumber Meter" },
    { 44, EnglishOffset, "Serialnumber Propeller" },
    { 45, EnglishOffset, "Type" },
    { 46, EnglishOffset, "Rod" },
    { 47, EnglishOffset, "Cable" },
    { 50, EnglishOffset, "Equations" },
    { 51, EnglishOffset, "Frequency Range" },
    { 52, EnglishOffset, "Equation" },
    { 53, EnglishOffset, "Save Equations" },
    { 54, EnglishOffset, "Print List" },
    { 55, EnglishOffset, "Import Equations" },
    { 60, EnglishOffset, "OFF" },
    { 61, EnglishOffset, "ON" },
    { 62, EnglishOffset, "QUIET" },
    { 63, EnglishOffset, "CONTINUOUS" },
    { 65, EnglishOffset, "Do you want so save the current configuration?" },
    { 66, EnglishOffset, "Vetu-Configuration.txt file not found." },
    { 67, EnglishOffset, "Please restart device!" },
    { 68, EnglishOffset, "Name field must not be empty" },
    { 69, EnglishOffset, "Invalid Boundary" },
    { 70, EnglishOffset, "Invalid Factor!" },
    { 71, EnglishOffset, "Invalid Offset!" },
    { 72, EnglishOffset, "The boundary values must be defined in increasing oder!" },
    { 73, EnglishOffset, "Equation ~ must be correctly defined!" },
    { 74, EnglishOffset, "At least one equation must be defined!" },
    { 78, EnglishOffset, "Delete Equation" },
    { 79, EnglishOffset, "No or empty equation entry selected, please choose valid entry from list!" },
    { 80, EnglishOffset, "Could not delete equation, entry already empty or not in config file!" },
    { 81, EnglishOffset, "Do you really want to delete the equation?" },
    { 91, EnglishOffset, "Online Help" },

    { 1, GermanOffset, "Bediensoftware Vetu" },
    { 1, FrenchOffset, "Logiciel de paramétrage Vetu" },
    { 1, SpanishOffset, "Programa de operación Vetu" },
    { 10, GermanOffset, "Impulsmessung" },
    { 10, FrenchOffset, "Mesure d’impulsions" },
    { 10, SpanishOffset, "Medición de impulsos" },
    { 11, GermanOffset, "Zeitmessung" },
    { 11, FrenchOffset, "Mesure du temps" },
    { 11, SpanishOffset, "Medición del tiempo" },
    { 12, GermanOffset, "Integrationsmessung" },
    { 12, FrenchOffset, "Mesure par intégration" },
    { 12, SpanishOffset, "Medición por integración" },
    { 13, GermanOffset, "Integrationsmessung mit Restglied" },
    { 13, FrenchOffset, "Mesure par intégration avec détermination du reste" },
    { 13, SpanishOffset, "Medición por integración con el resto" },
    { 46, GermanOffset, "Stange" },
    { 46, FrenchOffset, "Perche" },
    { 46, SpanishOffset, "Barra" },
    { 47, GermanOffset, "Kabel" },
    { 47, FrenchOffset, "Câble" },
    { 47, SpanishOffset, "Cable" },
    { 62, GermanOffset, "RUHE" },
    { 62, FrenchOffset, "REPOS" },
    { 62, SpanishOffset, "REPOSO" },
    { 63, GermanOffset, "DAUER" },
    { 63, FrenchOffset, "DURÉE" },
    { 63, SpanishOffset, "DURACÍON" },
    { 65, GermanOffset, "Soll die aktuelle Konfiguration gespeichert werden?" },
    { 65, FrenchOffset, "Voulez-vous enregistrer la configuration actuelle ?" },
    { 65, SpanishOffset, "¿Desea guardar la configuración actual?" },
    { 73, GermanOffset, "Gleichung ~ muss korrekt definiert werden!" },
    { 73, FrenchOffset, "L’équation ~ doit être définie correctement !" },
    { 73, SpanishOffset, "Se debe definir la ecuación ~ correctamente" },

    { 22, GermanOffset, "AUS" },
    { 23, GermanOffset, "EIN" },
    { 24, GermanOffset, "AUTO" },
    { 60, GermanOffset, "AUS" },
    { 61, GermanOffset, "EIN" },
    { 22, FrenchOffset, "OFF" },
    { 23, FrenchOffset, "ON" },
    { 24, FrenchOffset, "AUTO" },
    { 60, FrenchOffset, "OFF" },
    { 61, FrenchOffset, "ON" },
    { 22, SpanishOffset, "OFF" },
    { 23, SpanishOffset, "ON" },
    { 24, SpanishOffset, "AUTO" },
    { 60, SpanishOffset, "OFF" },
    { 61, SpanishOffset, "ON" },

    { 66, GermanOffset, "Datei Vetu-Configuration.txt nicht gefunden." },
    { 67, GermanOffset, "Bitte schalten Sie das Gerät aus und wieder ein!" },
    { 21, GermanOffset, "Modus" },
    { 6, FrenchOffset, "Paramètres généraux" },
    { 91, GermanOffset, "Online Hilfe" },
    { 91, FrenchOffset, "Aide en ligne" },
};

TEST_F(TextTableTest, ShowsTheFixedTextsExactly)
{
    for (const ExactText &row : ExactTexts) {
        LanguageOffset = row.offset;
        EXPECT_EQ(LoadText(row.id), QString::fromUtf8(row.text))
            << "id " << row.id << " offset " << row.offset;
        EXPECT_EQ(TextTableEntry(row.id + row.offset), QString::fromUtf8(row.text));
    }
}

TEST_F(TextTableTest, TextId0IsEmptyWithoutReadingTheTable)
{
    // Entries at the numbers id 0 would address must not be read.
    TableWithEntries table;
    for (int offset : Offsets)
        table.set(offset, QStringLiteral("never shown"));
    for (int offset : Offsets) {
        EXPECT_TRUE(LoadTextFrom(table, 0, offset).isEmpty());
        EXPECT_TRUE(LoadTextWithArgFrom(table, 0, offset, QStringLiteral("1")).isEmpty());
        LanguageOffset = offset;
        EXPECT_TRUE(LoadText(0).isEmpty());
        EXPECT_TRUE(LoadTextWithArg(0, QStringLiteral("1")).isEmpty());
    }
    EXPECT_EQ(table.reads, 0);
}

TEST_F(TextTableTest, FallsBackToGermanWhenTheLanguageLacksTheText)
{
    TableWithEntries table;
    table.set(900, QStringLiteral("Nur Deutsch"));
    table.set(901, QStringLiteral("Deutsch"));
    table.set(901 + FrenchOffset, QString());
    for (int offset : Offsets) {
        EXPECT_EQ(LoadTextFrom(table, 900, offset), "Nur Deutsch") << offset;
        // An empty entry counts as missing.
        EXPECT_EQ(LoadTextFrom(table, 901, offset), "Deutsch") << offset;
        // Missing in every block: empty.
        EXPECT_TRUE(LoadTextFrom(table, 902, offset).isEmpty()) << offset;
    }
}

TEST_F(TextTableTest, OffsetThatNamesNoLanguageReadsGerman)
{
    // Without a chosen language the offset is negative; it must not shift onto the
    // neighbouring text id (text 2 read at number 1) or into another block.
    for (int offset : { -1, -10000, 1, 9999, 10001, 40000 }) {
        LanguageOffset = offset;
        EXPECT_EQ(LoadText(2), "Datei") << offset;
        EXPECT_EQ(LoadText(91), "Online Hilfe") << offset;
    }
}

TEST_F(TextTableTest, NumbersOutsideTheTextIdRangeAreNotTextIds)
{
    for (int offset : Offsets) {
        LanguageOffset = offset;
        EXPECT_TRUE(LoadText(10002).isEmpty()) << offset;
        EXPECT_TRUE(LoadText(-9998).isEmpty()) << offset;
    }
}

TEST_F(TextTableTest, RemovesOnlyTheFirstAmpersand)
{
    struct Case {
        const char *raw;
        const char *shown;
    };
    const Case cases[] = {
        { "&Datei", "Datei" },
        { "Speichern && Beenden", "Speichern & Beenden" },
        { "A&B&C", "AB&C" },
        { "&", "" },
        { "ohne", "ohne" },
    };
    for (const Case &c : cases) {
        TableWithEntries table;
        table.set(900, QString::fromUtf8(c.raw));
        EXPECT_EQ(LoadTextFrom(table, 900, GermanOffset), QString::fromUtf8(c.shown)) << c.raw;
    }
}

TEST_F(TextTableTest, LoadTextWithArgReplacesTheFirstPlaceholder)
{
    struct Case {
        int offset;
        const char *text;
    };
    const Case cases[] = {
        { EnglishOffset, "Equation 2 must be correctly defined!" },
        { SpanishOffset, "Se debe definir la ecuación 2 correctamente" },
        { GermanOffset, "Gleichung 2 muss korrekt definiert werden!" },
        { FrenchOffset, "L’équation 2 doit être définie correctement !" },
    };
    for (const Case &c : cases) {
        LanguageOffset = c.offset;
        EXPECT_EQ(LoadTextWithArg(73, QStringLiteral("2")), QString::fromUtf8(c.text));
    }

    TableWithEntries table;
    table.set(900 + EnglishOffset, QStringLiteral("&Set ~ of ~"));
    EXPECT_EQ(LoadTextWithArgFrom(table, 900, EnglishOffset, QStringLiteral("3")), "Set 3 of ~");
    // The argument itself is not searched again.
    EXPECT_EQ(LoadTextWithArgFrom(table, 900, EnglishOffset, QStringLiteral("~")), "Set ~ of ~");
    // Without a placeholder the text stays as it is.
    LanguageOffset = EnglishOffset;
    EXPECT_EQ(LoadTextWithArg(2, QStringLiteral("3")), "File");
}

TEST_F(TextTableTest, EachLookupReadsTheCurrentOffset)
{
    LanguageOffset = FrenchOffset;
    const QString french = LoadText(6);
    LanguageOffset = SpanishOffset;
    EXPECT_EQ(french, QString::fromUtf8("Paramètres généraux"));
    EXPECT_EQ(LoadText(6), QString::fromUtf8("Configuración general"));
}

} // namespace
