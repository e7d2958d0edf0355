#include "MainForm.h"

#include "WidgetDesign.h"

#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>

#include <algorithm>

namespace
{

// The pages' area inside PageControl1 and the window's area below the menu, in design pixels.
const QRect PageDesign(0, 0, 636, 547);
const QRect ClientDesign(0, 0, 677, 638);
// Where the window first appears on the screen.
const QPoint DesignPosition(390, 176);

// value, moved into [low, high] where that range exists, else low.
int Clamp(int value, int low, int high)
{
    return std::max(low, std::min(value, high));
}

} // namespace

void TMainForm::fitLayout()
{
    const double scale = vetu::DesignScale(font());
    const int grid = vetu::DevicePixelGrid(devicePixelRatioF());

    // Both pages get the size of the larger one, as pages of one page control do.
    QSize pageSize;
    for (QWidget *page : { GeneralTabSheet, VelocityTabSheet }) {
        vetu::DesignItem tree = vetu::DesignTree(page, PageDesign);
        vetu::FitDesignLayout(tree, scale, grid);
        vetu::ApplyDesignTree(page, tree, m_pageOffset);
        pageSize = pageSize.expandedTo(tree.result.size() + QSize(m_pageOffset.x(), m_pageOffset.y()));
    }
    for (QWidget *page : { GeneralTabSheet, VelocityTabSheet })
        page->setMinimumSize(pageSize);
    ConfigListBox->alignViewport(grid);

    // PageControl1 needs the pages plus its tabs and frame.
    vetu::DesignItem client = vetu::DesignTree(m_clientArea, ClientDesign);
    for (vetu::DesignItem &child : client.children)
        child.least = PageControl1->minimumSizeHint();
    vetu::FitDesignLayout(client, scale, grid);
    vetu::ApplyDesignTree(m_clientArea, client);
    m_clientArea->setFixedSize(client.result.size());

    // At a fractional scale the content starts on a whole device pixel below the menu.
    if (grid > 1)
        menuBar()->setFixedHeight((menuBar()->sizeHint().height() + grid - 1) / grid * grid);
    fitToScreen(client.result.size());
}

void TMainForm::fitToScreen(const QSize &clientSize)
{
    const QSize wanted(clientSize.width(), clientSize.height() + menuBar()->sizeHint().height());
    const QScreen *display = screen();
    if (!display) {
        resize(wanted);
        return;
    }
    const QRect available = display->availableGeometry();
    // The window manager's frame, once the window has one.
    const QSize frame = frameGeometry().size() - geometry().size();
    const QSize size = wanted.boundedTo(available.size() - frame);
    resize(size);
    const QPoint origin = isVisible() ? pos() : DesignPosition;
    move(Clamp(origin.x(), available.left(), available.left() + available.width() - size.width() - frame.width()),
        Clamp(origin.y(), available.top(), available.top() + available.height() - size.height() - frame.height()));
}

void TMainForm::alignPagesToDevicePixels()
{
    const int grid = vetu::DevicePixelGrid(devicePixelRatioF());
    // Where the page control put its pages is known once it is shown; the pages' controls
    // then move so that they start on whole device pixels of the window.
    const QPoint page = PageControl1->currentWidget()->mapTo(this, QPoint(0, 0));
    const QPoint offset((grid - page.x() % grid) % grid, (grid - page.y() % grid) % grid);
    if (offset == m_pageOffset)
        return;
    m_pageOffset = offset;
    fitLayout();
}
