#include "EquationListPrint.h"

#include "EquationSet.h"
#include "IniFile.h"
#include "TextTable.h"

#include <QFile>
#include <QPageSize>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vetu::PadPrintCell;

namespace {

TEST(PadPrintCellTest, PadsShortCellsAndKeepsLongOnesWhole)
{
    const struct {
        const char *text;
        int width;
        const char *expected;
    } cases[] = {
        {"", 3, "   "},
        {"abc", 5, "abc  "},
        {"abcd", 5, "abcd "},
        {"abcde", 5, "abcde"},
        {"abcdef", 5, "abcdef"},
        {"ü", 2, "ü "},
    };
    for (const auto &c : cases)
        EXPECT_EQ(PadPrintCell(QString::fromUtf8(c.text), c.width), QString::fromUtf8(c.expected)) << c.text;
}

// A folder with a "Configuration.ini" and the 30 list labels of its sets, in English.
class EquationListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedOffset = LanguageOffset;
        LanguageOffset = EnglishOffset;
        ASSERT_TRUE(m_dir.isValid());
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Settings]\r\nLanguageOffset=10000\r\n"
                   "[03]\r\nName=" + LongName.toLatin1() + "\r\nBodyNr=B3\r\nPropellerNr=P3\r\n"
                   "[07]\r\nName=Meter B\r\nBodyNr=123\r\nPropellerNr=P-9\r\n"
                   "[10]\r\nName=Ten\r\nBodyNr=\r\nPropellerNr=\r\n"
                   "[12]\r\nName=Only body\r\nBodyNr=4711\r\n");
        file.close();
        m_ini = std::make_unique<vetu::IniFile>(iniPath());
        for (int n = 1; n <= vetu::EquationSetCount; ++n)
            m_labels.append(vetu::EquationLabel(n, m_ini->readString(vetu::EquationSectionName(n), "Name", "")));
    }
    void TearDown() override { LanguageOffset = m_savedOffset; }

    QString iniPath() const { return m_dir.filePath(QStringLiteral("Configuration.ini")); }

    // Prints to a PDF file and gives the text of its pages, as laid out, and the page count.
    struct Printed {
        QStringList pages;
        QString title;
        QString fonts;
    };
    Printed PrintToPdf(const QStringList &lines, const QString &name)
    {
        const QString pdf = m_dir.filePath(name);
        {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setPageSize(QPageSize(QPageSize::A4));
            vetu::PrintEquationListLines(printer, lines, QStringLiteral("Equations"));
            EXPECT_EQ(printer.docName(), QStringLiteral("Equations"));
        }
        Printed printed;
        QString text = Run("pdftotext", {"-layout", "-enc", "UTF-8", pdf, "-"});
        if (text.endsWith(QLatin1Char('\f')))
            text.chop(1);
        printed.pages = text.split(QLatin1Char('\f'));
        for (const QString &line : Run("pdfinfo", {pdf}).split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("Title:")))
                printed.title = line.mid(6).trimmed();
        }
        printed.fonts = Run("pdffonts", {pdf});
        return printed;
    }

    static QString Run(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << program.toStdString();
        EXPECT_EQ(process.exitCode(), 0) << program.toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    static inline const QString LongName =
        QStringLiteral("A very long configuration name that fills the first column up");

    QTemporaryDir m_dir;
    std::unique_ptr<vetu::IniFile> m_ini;
    QStringList m_labels;
    int m_savedOffset = 0;
};

TEST_F(EquationListTest, LinesHoldHeadingLabelsAndSerialNumbers)
{
    const QStringList lines = vetu::EquationListLines(m_labels, *m_ini);
    ASSERT_EQ(lines.size(), 31);
    EXPECT_EQ(lines[0], QStringLiteral("Configuration Name") + QString(41, ' ') + QStringLiteral("Serialnumber Meter")
                            + QString(18, ' ') + QStringLiteral("Serialnumber Propeller"));
    const struct {
        int set;
        QString expected;
    } cases[] = {
        {1, PadPrintCell("[01] ", 59) + PadPrintCell("N/A", 36) + "N/A"},
        {3, "[03] " + LongName + "B3" + QString(34, ' ') + "P3"},
        {7, PadPrintCell("[07] Meter B", 59) + PadPrintCell("123", 36) + "P-9"},
        {10, PadPrintCell("[10] Ten", 59) + QString(36, ' ')},
        {12, PadPrintCell("[12] Only body", 59) + PadPrintCell("4711", 36) + "N/A"},
        {30, PadPrintCell("[30] ", 59) + PadPrintCell("N/A", 36) + "N/A"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(lines[c.set], c.expected) << c.set;
}

TEST_F(EquationListTest, HeadingFollowsTheLanguage)
{
    LanguageOffset = GermanOffset;
    const QStringList lines = vetu::EquationListLines(m_labels, *m_ini);
    EXPECT_EQ(lines[0], PadPrintCell(QStringLiteral("Konfigurationsname"), 59)
                            + PadPrintCell(QString::fromUtf8("Seriennummer Messflügel"), 36)
                            + QStringLiteral("Seriennummer Propeller"));
}

TEST_F(EquationListTest, PrintsTheListOnOnePageAsOneTitledJobAndAgainTheSame)
{
    const QStringList lines = vetu::EquationListLines(m_labels, *m_ini);
    const Printed first = PrintToPdf(lines, QStringLiteral("first.pdf"));
    ASSERT_EQ(first.pages.size(), 1);
    const QString page = first.pages[0];
    EXPECT_EQ(first.title, QStringLiteral("Equations"));
    EXPECT_TRUE(first.fonts.contains(QStringLiteral("Courier")) || first.fonts.contains(QStringLiteral("Mono")))
        << first.fonts.toStdString();
    EXPECT_TRUE(page.contains(QRegularExpression("Configuration Name +Serialnumber Meter +Serialnumber Propeller")));
    EXPECT_TRUE(page.contains(QRegularExpression(R"(\[01\] +N/A +N/A)")));
    EXPECT_TRUE(page.contains(QRegularExpression(R"(\[07\] Meter B +123 +P-9)")));
    EXPECT_TRUE(page.contains(QRegularExpression(R"(\[12\] Only body +4711 +N/A)")));
    EXPECT_TRUE(page.contains(QRegularExpression(R"(\[30\] +N/A +N/A)")));
    // The label of 59 or more characters runs straight into the body number.
    EXPECT_TRUE(page.contains("[03] " + LongName + "B3")) << page.toStdString();
    // A set saved with empty serial numbers prints nothing in those columns.
    EXPECT_TRUE(page.contains(QRegularExpression(R"(\[10\] Ten *\n)")));

    const Printed second = PrintToPdf(lines, QStringLiteral("second.pdf"));
    EXPECT_EQ(second.pages, first.pages);
}

TEST_F(EquationListTest, LongListsBreakPagesAndLongLinesWrap)
{
    QStringList lines;
    for (int i = 0; i < 300; ++i)
        lines.append(QStringLiteral("Line %1").arg(i, 3, 10, QLatin1Char('0')));
    QString longLine;
    for (int i = 0; i < 40; ++i)
        longLine += QStringLiteral("W%1").arg(i, 4, 10, QLatin1Char('0'));
    lines.append(longLine);
    const Printed printed = PrintToPdf(lines, QStringLiteral("long.pdf"));
    ASSERT_GT(printed.pages.size(), 1);
    const QString all = printed.pages.join(QString());
    for (int i = 0; i < 300; ++i)
        EXPECT_TRUE(all.contains(QStringLiteral("Line %1").arg(i, 3, 10, QLatin1Char('0')))) << i;
    // The 200-character line comes out whole, in more than one printed line.
    const QString last = printed.pages.last();
    QString joined = last;
    joined.remove(QRegularExpression("\\s"));
    EXPECT_TRUE(joined.contains(longLine));
    EXPECT_FALSE(last.contains(longLine));
    // Every page is filled before the next begins. Line positions are fractional, so where
    // the page ends falls one line earlier on some pages.
    const qsizetype firstPageLines = printed.pages[0].count(QStringLiteral("Line "));
    EXPECT_GT(firstPageLines, 60);
    for (qsizetype p = 1; p + 1 < printed.pages.size(); ++p) {
        const qsizetype pageLines = printed.pages[p].count(QStringLiteral("Line "));
        EXPECT_GE(pageLines, firstPageLines - 1) << p;
        EXPECT_LE(pageLines, firstPageLines + 1) << p;
    }
}

} // namespace
