#include "MainForm.h"

#include "EquationListPrint.h"
#include "IniFile.h"
#include "TextTable.h"

#include <QListWidget>
#include <QPrintDialog>
#include <QPrinter>
#include <QScopeGuard>
#include <QTextEdit>

namespace
{

constexpr int JobTitleText = 50;

} // namespace

void TMainForm::PrintListButtonClick()
{
    QPrinter printer(QPrinter::HighResolution);
    // Named before the dialog: printing to a file then offers "<title>.pdf".
    printer.setDocName(LoadText(JobTitleText));
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;

    QStringList labels;
    labels.reserve(ConfigListBox->count());
    for (int i = 0; i < ConfigListBox->count(); ++i)
        labels.append(ConfigListBox->item(i)->text());
    const QStringList lines = vetu::EquationListLines(labels, *ConfigurationIni);

    // RichEdit holds the text of one print run only.
    const auto emptyAfterwards = qScopeGuard([this] { RichEdit->clear(); });
    RichEdit->setPlainText(lines.join(QLatin1Char('\n')));
    vetu::PrintEquationListLines(printer, lines, LoadText(JobTitleText));
}
