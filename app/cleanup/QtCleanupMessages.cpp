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
    box.exec();
}

} // namespace vetu
