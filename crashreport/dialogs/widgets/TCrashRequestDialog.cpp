#include "TCrashRequestDialog.h"

#include "CrashDialogRules.h"
#include "TCrashDetailedDialog.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <algorithm>

namespace crashreport {

TCrashRequestDialog::TCrashRequestDialog(const TCrashShowRequest &request, TCrashShowState &state,
                                         const TCrashDialogHooks &hooks, QWidget *parent)
    : TCrashDialogBase(hooks, request.dialogCloseSeconds, parent), m_state(state)
{
    setObjectName("CR_Request");
    setWindowTitle(CrashQText(request, 123));
    QWidget *c = client();
    m_label = new QLabel(CrashQText(request, 124), c);
    m_label->setObjectName("RequestLabel");
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_edit = new QPlainTextEdit(c);
    m_edit->setObjectName("RequestEdit");
    m_edit->setTabChangesFocus(true);
    m_edit->setPlainText(QString::fromStdString(state.reproduceText));
    m_ok = new QPushButton(CrashQText(request, 125), c);
    m_ok->setObjectName("OKButton");
    m_ok->setDefault(true);

    // 316 wide; the label 10 from the top and left, as wide as the window less 27; the window
    // grows by the label's height less 10; the edit 4 below the label; OK at the right.
    const int width = 316;
    const int labelWidth = width - 27;
    const int labelHeight = m_label->heightForWidth(labelWidth);
    m_label->setGeometry(10, 10, labelWidth, labelHeight);
    const int editTop = 10 + labelHeight + 4;
    const int okHeight = std::max(23, m_ok->sizeHint().height());
    const int okWidth = std::max(75, m_ok->sizeHint().width());
    const int height = 153 + std::max(0, labelHeight - 10);
    m_ok->setGeometry(width - 10 - okWidth, height - 10 - okHeight, okWidth, okHeight);
    m_edit->setGeometry(10, editTop, labelWidth, m_ok->y() - 8 - editTop);
    setClientSize(QSize(width, height));
    setFixedSize(size());

    connect(m_ok, &QPushButton::clicked, this, [this] {
        m_state.reproduceText = CrashTrim(m_edit->toPlainText().toStdString());
        m_state.reproduceGiven = true;
        accept();
    });
    m_edit->setFocus();
}

} // namespace crashreport
