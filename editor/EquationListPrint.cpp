#include "EquationListPrint.h"

#include "EquationSet.h"
#include "IniFile.h"
#include "TextTable.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QPrinter>
#include <QTextDocument>
#include <QTextOption>

namespace vetu {
namespace {

constexpr int ConfigurationNameText = 41;
constexpr int SerialNumberMeterText = 43;
constexpr int SerialNumberPropellerText = 44;

const QString MissingValue = QStringLiteral("N/A");

QString ListLine(const QString &cell1, const QString &cell2, const QString &cell3)
{
    return PadPrintCell(cell1, PrintColumn1Width) + PadPrintCell(cell2, PrintColumn2Width) + cell3;
}

// Courier New where it is installed, otherwise the system's fixed-pitch family, so that the
// blank-padded columns stay aligned.
QFont ListFont()
{
    const QString preferred = QStringLiteral("Courier New");
    QString family = preferred;
    if (!QFontDatabase::families().contains(preferred, Qt::CaseInsensitive))
        family = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
    QFont font(family);
    font.setPointSizeF(8.0);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

} // namespace

QString PadPrintCell(const QString &text, int width)
{
    if (text.size() >= width)
        return text;
    return text + QString(width - text.size(), QLatin1Char(' '));
}

QStringList EquationListLines(const QStringList &labels, const IniFile &configurationIni)
{
    QStringList lines;
    lines.reserve(labels.size() + 1);
    lines.append(ListLine(LoadText(ConfigurationNameText), LoadText(SerialNumberMeterText),
                          LoadText(SerialNumberPropellerText)));
    for (qsizetype i = 0; i < labels.size(); ++i) {
        const QString section = EquationSectionName(int(i) + 1);
        lines.append(ListLine(labels[i],
                              configurationIni.readString(section, QStringLiteral("BodyNr"), MissingValue),
                              configurationIni.readString(section, QStringLiteral("PropellerNr"), MissingValue)));
    }
    return lines;
}

void PrintEquationListLines(QPrinter &printer, const QStringList &lines, const QString &jobTitle)
{
    printer.setDocName(jobTitle);

    QTextDocument document;
    // Lay the text out on the printer itself, one page being exactly its printable area, so
    // that nothing is scaled and no margin, header or page number is added.
    document.documentLayout()->setPaintDevice(&printer);
    document.setDocumentMargin(0);
    document.setDefaultFont(ListFont());
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    document.setDefaultTextOption(option);
    document.setPlainText(lines.join(QLatin1Char('\n')));
    document.setPageSize(QSizeF(printer.width(), printer.height()));

    document.print(&printer);
}

} // namespace vetu
