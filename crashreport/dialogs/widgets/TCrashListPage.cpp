#include "TCrashListPage.h"

#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <map>

namespace crashreport {

namespace {

// One small mark per module kind: 0 the program's own code, 1 a shared library, 2 a library
// built with the crash-report library, 3 the toolkit.
QIcon kindMark(int kind)
{
    static const QColor colours[] = {QColor(0, 120, 0), QColor(0, 0, 160), QColor(160, 100, 0), QColor(120, 0, 120)};
    static const char *letters[] = {"P", "D", "B", "Q"};
    const int k = kind >= 0 && kind < 4 ? kind : 1;
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.fillRect(1, 1, 14, 14, colours[k]);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setPixelSize(11);
    f.setBold(true);
    p.setFont(f);
    p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QString::fromLatin1(letters[k]));
    return QIcon(pixmap);
}

QTreeWidgetItem *makeRow(const TCrashShowRow &row)
{
    auto *item = new QTreeWidgetItem;
    for (std::size_t c = 0; c < row.cells.size(); ++c)
        item->setText(static_cast<int>(c), QString::fromStdString(row.cells[c]));
    return item;
}

} // namespace

TCrashListPage::TCrashListPage(const QString &label, const QStringList &columns, const std::vector<TCrashShowRow> &rows,
                               bool groupByThread, const std::vector<int> &widths, QWidget *parent)
    : QWidget(parent), m_label(new QLabel(label, this)), m_list(new QTreeWidget(this))
{
    m_label->setTextFormat(Qt::PlainText);
    m_label->setObjectName("PageLabel");
    m_list->setObjectName("PageList");
    m_list->setColumnCount(static_cast<int>(columns.size()));
    m_list->setHeaderLabels(columns);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setUniformRowHeights(true);
    m_list->setRootIsDecorated(groupByThread);

    if (groupByThread) {
        std::map<std::uint64_t, QTreeWidgetItem *> groups;
        for (const TCrashShowRow &row : rows) {
            QTreeWidgetItem *&group = groups[row.threadId];
            if (!group) {
                group = new QTreeWidgetItem(m_list);
                group->setText(0, QString::number(row.threadId));
                QFont bold = group->font(0);
                bold.setBold(true);
                group->setFont(0, bold);
                group->setFirstColumnSpanned(true);
                group->setExpanded(true);
            }
            QTreeWidgetItem *item = makeRow(row);
            item->setIcon(0, kindMark(row.kind));
            group->addChild(item);
        }
        m_list->expandAll();
    } else {
        for (const TCrashShowRow &row : rows)
            m_list->addTopLevelItem(makeRow(row));
    }
    for (std::size_t c = 0; c < widths.size() && c < static_cast<std::size_t>(columns.size()); ++c)
        m_list->setColumnWidth(static_cast<int>(c), widths[c]);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_label);
    layout->addWidget(m_list, 1);
}

std::vector<int> TCrashListPage::columnWidths() const
{
    std::vector<int> widths;
    for (int c = 0; c < m_list->columnCount(); ++c)
        widths.push_back(m_list->columnWidth(c));
    return widths;
}

} // namespace crashreport
