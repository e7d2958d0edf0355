#include "RemoveInfectedFiles.h"

#include <QMessageBox>

namespace vetu {

QtCleanupMessages::QtCleanupMessages(QWidget *parent)
    : m_parent(parent)
{
}

void QtCleanupMessages::show(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vetu"), text, QMessageBox::Ok, m_parent);
    // The names come from a drive that many computers write to: shown as text, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace vetu
