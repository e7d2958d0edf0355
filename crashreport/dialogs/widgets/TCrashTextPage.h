#pragma once
// A page of report text (General, Assembler, CPU): a label and the text in a fixed-pitch font on
// white, coloured by line kind. The text is always inserted as plain text, never as markup.

#include <QWidget>

class QLabel;
class QTextEdit;

namespace crashreport {

class TCrashTextPage : public QWidget {
    Q_OBJECT
public:
    TCrashTextPage(const QString &label, const QString &text, QWidget *parent = nullptr);
    QTextEdit *edit() const { return m_edit; }

    enum class LineKind { Heading, Dashes, NameValue, Plain };
    static LineKind kindOf(const QString &line, const QString &next);

private:
    QLabel *m_label;
    QTextEdit *m_edit;
};

} // namespace crashreport
