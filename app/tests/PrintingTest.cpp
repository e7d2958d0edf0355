// Printing the list of sets through the real print dialog, to a PDF file.
#include "MainFormFixture.h"

#include "TextTable.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPrintDialog>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

namespace
{

// Answers the print dialog when it appears: chooses printing to a PDF file of the given
// name and presses Print, or presses Cancel when the name is empty.
class PrintDialogAnswerer : public QObject
{
public:
    explicit PrintDialogAnswerer(const QString &pdfPath)
        : m_pdfPath(pdfPath)
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &PrintDialogAnswerer::poll);
        m_timer.start();
    }
    bool answered() const { return m_answered; }
    QString windowTitle() const { return m_windowTitle; }

private:
    void poll()
    {
        auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || m_answered)
            return;
        m_answered = true;
        m_windowTitle = dialog->windowTitle();
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        ASSERT_NE(buttons, nullptr);
        if (m_pdfPath.isEmpty()) {
            QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
            return;
        }
        auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
        auto *fileName = dialog->findChild<QLineEdit *>(QStringLiteral("filename"));
        ASSERT_NE(printers, nullptr);
        ASSERT_NE(fileName, nullptr);
        const int toFile = printers->findText(QStringLiteral("Print to File (PDF)"));
        ASSERT_GE(toFile, 0);
        printers->setCurrentIndex(toFile);
        fileName->setText(m_pdfPath);
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }

    QString m_pdfPath;
    bool m_answered = false;
    QString m_windowTitle;
    QTimer m_timer;
};

QString RunTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return QStringLiteral("<%1 failed>").arg(program);
    return QString::fromUtf8(process.readAllStandardOutput());
}

const QByteArray ThreeSets = TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000", "[01]", "Name=Meter A",
    "BodyNr=47", "PropellerNr=12", "[07]", "Name=Meter B", "BodyNr=", "PropellerNr=", "[10]",
    "Name=A name of sixty characters for the meter of the tenth set", "BodyNr=B-10", "PropellerNr=P-10" });

class PrintingTest : public MainFormTest
{
protected:
    QString pdfPath() const { return device.filePath(QStringLiteral("list.pdf")); }

    // The printed text, laid out as on the page.
    QStringList printedLines() const
    {
        QStringList lines = RunTool(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdfPath(), QStringLiteral("-") })
                                .split(QLatin1Char('\n'));
        for (QString &line : lines)
            line = line.trimmed();
        lines.removeAll(QString());
        lines.removeAll(QStringLiteral("\f"));
        return lines;
    }

    QString pdfInfo() const { return RunTool(QStringLiteral("pdfinfo"), { pdfPath() }); }
};

} // namespace

TEST_F(PrintingTest, PrintsTheHeadingAndOneLinePerSetAsOneJob)
{
    startOnVelocityPage(ThreeSets);
    retype(form->NameEdit, QStringLiteral("Not saved")); // the list shows what is stored
    PrintDialogAnswerer printDialog(pdfPath());

    QTest::mouseClick(form->PrintListButton, Qt::LeftButton);

    ASSERT_TRUE(printDialog.answered());
    EXPECT_TRUE(boxes.seen().isEmpty());
    ASSERT_TRUE(QFileInfo(pdfPath()).isFile());
    const QString info = pdfInfo();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("^Pages: +1$"), QRegularExpression::MultilineOption))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("^Title: +Equations$"), QRegularExpression::MultilineOption))) << info.toStdString();

    const QStringList lines = printedLines();
    ASSERT_EQ(lines.size(), 31) << lines.join(QLatin1Char('\n')).toStdString();
    const auto columns = [](const QString &line) {
        return line.split(QRegularExpression(QStringLiteral(" {2,}")));
    };
    EXPECT_EQ(columns(lines[0]),
        QStringList({ QStringLiteral("Configuration Name"), QStringLiteral("Serialnumber Meter"),
            QStringLiteral("Serialnumber Propeller") }));
    EXPECT_EQ(columns(lines[1]), QStringList({ QStringLiteral("[01] Meter A"), QStringLiteral("47"), QStringLiteral("12") }));
    EXPECT_EQ(columns(lines[2]), QStringList({ QStringLiteral("[02]"), QStringLiteral("N/A"), QStringLiteral("N/A") }));
    EXPECT_EQ(lines[7], QStringLiteral("[07] Meter B")) << "saved with empty numbers: two empty cells";
    // A label of 59 characters or more is followed directly by the body number.
    EXPECT_EQ(columns(lines[10]),
        QStringList({ QStringLiteral("[10] A name of sixty characters for the meter of the tenth setB-10"),
            QStringLiteral("P-10") }));
    EXPECT_EQ(columns(lines[30]), QStringList({ QStringLiteral("[30]"), QStringLiteral("N/A"), QStringLiteral("N/A") }));
    // The columns are aligned: a fixed-pitch font.
    EXPECT_EQ(lines[0].indexOf(QStringLiteral("Serialnumber Meter")), lines[1].indexOf(QStringLiteral("47")));
    EXPECT_EQ(lines[0].indexOf(QStringLiteral("Serialnumber Propeller")), lines[1].indexOf(QStringLiteral("12")));

    EXPECT_TRUE(form->RichEdit->toPlainText().isEmpty());
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Not saved"));
    EXPECT_TRUE(form->VelocitySettingsModified);
}

TEST_F(PrintingTest, ASecondRunPrintsTheSamePages)
{
    startOnVelocityPage(ThreeSets);
    QStringList first;
    {
        PrintDialogAnswerer printDialog(pdfPath());
        QTest::mouseClick(form->PrintListButton, Qt::LeftButton);
        ASSERT_TRUE(printDialog.answered());
        first = printedLines();
    }
    ASSERT_TRUE(QFile::remove(pdfPath()));
    PrintDialogAnswerer printDialog(pdfPath());
    QTest::mouseClick(form->PrintListButton, Qt::LeftButton);
    ASSERT_TRUE(printDialog.answered());
    EXPECT_EQ(printedLines(), first);
    EXPECT_TRUE(form->RichEdit->toPlainText().isEmpty());
}

TEST_F(PrintingTest, CancellingTheDialogPrintsNothing)
{
    startOnVelocityPage(ThreeSets);
    PrintDialogAnswerer printDialog { QString() };

    QTest::mouseClick(form->PrintListButton, Qt::LeftButton);

    ASSERT_TRUE(printDialog.answered());
    EXPECT_FALSE(QFileInfo::exists(pdfPath()));
    EXPECT_TRUE(form->RichEdit->toPlainText().isEmpty());
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_EQ(configurationIni(), ThreeSets);
}

TEST_F(PrintingTest, TheHeadingIsInTheLanguageOfTheProgram)
{
    startOnVelocityPage(TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=0" }));
    PrintDialogAnswerer printDialog(pdfPath());
    QTest::mouseClick(form->PrintListButton, Qt::LeftButton);
    ASSERT_TRUE(printDialog.answered());
    const QStringList lines = printedLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].startsWith(LoadText(41))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(LoadText(44))) << lines[0].toStdString();
    EXPECT_TRUE(pdfInfo().contains(QRegularExpression(QStringLiteral("^Title: +") + LoadText(50) + u'$', QRegularExpression::MultilineOption)))
        << pdfInfo().toStdString();
}
