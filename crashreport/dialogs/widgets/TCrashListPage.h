#pragma once
// A page of rows (Call Stack, Modules, Processes): a label and a list with full-row selection.
// The call stack is a tree grouped by thread: each group collapses under its plus/minus sign and
// each row carries a mark for its module kind. Column widths come from and go back to the
// settings file.

#include "CrashShowStep.h"

#include <QWidget>

#include <vector>

class QLabel;
class QTreeWidget;

namespace crashreport {

class TCrashListPage : public QWidget {
    Q_OBJECT
public:
    TCrashListPage(const QString &label, const QStringList &columns, const std::vector<TCrashShowRow> &rows,
                   bool groupByThread, const std::vector<int> &widths, QWidget *parent = nullptr);
    QTreeWidget *list() const { return m_list; }
    std::vector<int> columnWidths() const;

private:
    QLabel *m_label;
    QTreeWidget *m_list;
};

} // namespace crashreport
