#include "TCrashTextPage.h"

#include <QFontDatabase>
#include <QLabel>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace crashreport {

namespace {

// The colour table of the pages: 1 heading, 2 plain, 3 dashes, 4 names, 5 values.
const QColor HeadingColour(0, 100, 100);
const QColor PlainColour(0, 0, 0);
const QColor DashColour(40, 40, 40);
const QColor NameColour(0, 0, 160);
const QColor ValueColour(160, 0, 0);

} // namespace

TCrashTextPage::LineKind TCrashTextPage::kindOf(const QString &line, const QString &next)
{
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith('-'))
        return LineKind::Dashes;
    if (!trimmed.isEmpty() && next.trimmed().startsWith('-'))
        return LineKind::Heading;
    if (line.indexOf(QLatin1String(": ")) > 0)
        return LineKind::NameValue;
    return LineKind::Plain;
}

TCrashTextPage::TCrashTextPage(const QString &label, const QString &text, QWidget *parent)
    : QWidget(parent), m_label(new QLabel(label, this)), m_edit(new QTextEdit(this))
{
    m_label->setTextFormat(Qt::PlainText);
    m_label->setObjectName("PageLabel");
    m_edit->setObjectName("PageText");
    m_edit->setReadOnly(true);
    m_edit->setAcceptRichText(false);
    m_edit->setLineWrapMode(QTextEdit::NoWrap);
    QPalette p = m_edit->palette();
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, Qt::black);
    m_edit->setPalette(p);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_label);
    layout->addWidget(m_edit, 1);

    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QStringList lines = normalised.split('\n');
    QTextCursor cursor(m_edit->document());
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        const QString next = i + 1 < lines.size() ? lines[i + 1] : QString();
        QTextCharFormat format;
        switch (kindOf(line, next)) {
        case LineKind::Heading:
            format.setForeground(HeadingColour);
            format.setFontWeight(QFont::Bold);
            cursor.insertText(line, format);
            break;
        case LineKind::Dashes:
            format.setForeground(DashColour);
            cursor.insertText(line, format);
            break;
        case LineKind::NameValue: {
            const int colon = static_cast<int>(line.indexOf(QLatin1String(": ")));
            format.setForeground(NameColour);
            cursor.insertText(line.left(colon + 1), format);
            format.setForeground(ValueColour);
            cursor.insertText(line.mid(colon + 1), format);
            break;
        }
        case LineKind::Plain:
            format.setForeground(PlainColour);
            cursor.insertText(line, format);
            break;
        }
        if (i + 1 < lines.size())
            cursor.insertBlock();
    }
    m_edit->moveCursor(QTextCursor::Start);
}

} // namespace crashreport
