#include "TCrashDetailedDialog.h"

#include "TCrashListPage.h"
#include "TCrashTextPage.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QUrl>

#include <algorithm>

namespace crashreport {

QString CrashQText(const TCrashShowRequest &request, int id)
{
    return QString::fromStdString(CrashText(request, id));
}

QPixmap CrashErrorMark()
{
    return QApplication::style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32);
}

namespace {

constexpr int ButtonHeight = 25;

QStringList columnTexts(const TCrashShowRequest &r, int first, int last)
{
    QStringList out;
    for (int id = first; id <= last; ++id)
        out << CrashQText(r, id);
    return out;
}

template <std::size_t N> std::vector<int> widthsOf(const std::array<int, N> &a)
{
    return std::vector<int>(a.begin(), a.end());
}

template <std::size_t N> void storeWidths(std::array<int, N> &a, const std::vector<int> &w)
{
    for (std::size_t i = 0; i < N && i < w.size(); ++i)
        if (w[i] > 0)
            a[i] = w[i];
}

} // namespace

TCrashDetailedDialog::TCrashDetailedDialog(const TCrashShowRequest &request, TCrashShowState &state,
                                           const TCrashDialogHooks &hooks, std::string settingsPath, QWidget *parent)
    : TCrashDialogBase(hooks, request.dialogCloseSeconds, parent), m_request(request), m_state(state),
      m_settingsPath(std::move(settingsPath)), m_settings(LoadCrashDialogSettings(m_settingsPath)),
      m_offer(CrashDialogOffer(request)), m_tabs(CrashDialogTabs(request.logSections))
{
    setObjectName("CR_Dialog");
    setWindowTitle(CrashQText(request, 3));
    // The fixed size of compact mode leaves the maximise box without effect there.
    setWindowFlag(Qt::WindowMaximizeButtonHint, true);
    setOwnLook(request.dialogFlags & dfOwnLook);
    setTopMost(request.dialogFlags & dfTopMost);

    QWidget *c = client();
    m_icon = new QLabel(c);
    m_icon->setObjectName("ErrorIcon");
    m_icon->setPixmap(CrashErrorMark());
    m_message = new QLabel(c);
    m_message->setObjectName("MessageLabel");
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_tabBar = new QTabBar(c);
    m_tabBar->setObjectName("Tabs");
    static const int tabTexts[] = {5, 7, 9, 11, 13, 15};
    for (TCrashPage page : m_tabs)
        m_tabBar->addTab(CrashQText(request, tabTexts[static_cast<int>(page)]));

    auto button = [&](const char *name, const QString &text) {
        auto *b = new QPushButton(text, c);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    m_terminate = button("TerminateButton", CrashQText(request, request.terminateAction == 1 ? 18 : 19));
    m_custom = button("CustomButton", CrashQText(request, 21));
    m_ok = button("OKButton", CrashQText(request, 17));
    m_ok->setDefault(true);
    m_details = button("DetailsButton", CrashQText(request, 20));

    auto check = [&](const char *name, const QString &text) {
        auto *b = new QCheckBox(text, c);
        b->setObjectName(name);
        return b;
    };
    m_send = check("SendCheckBox", CrashQText(request, 22));
    m_screenshot = check("ScreenshotCheckBox", CrashQText(request, 23));
    m_copy = check("CopyCheckBox", CrashQText(request, 24));
    m_support = button("SupportLink", CrashQText(request, 25));
    m_support->setFlat(true);
    m_support->setCursor(Qt::PointingHandCursor);
    QFont underlined = m_support->font();
    underlined.setUnderline(true);
    m_support->setFont(underlined);
    m_support->setStyleSheet("QPushButton { color: rgb(0,0,200); border: none; text-align: right; }"
                             "QPushButton:hover, QPushButton:focus { color: rgb(200,0,0); }");

    // Which controls exist for this report.
    m_terminate->setVisible(m_offer.terminate);
    m_custom->setVisible(request.dialogFlags & dfCustomButton);
    m_send->setVisible(m_offer.send);
    m_screenshot->setVisible(m_offer.screenshot);
    m_copy->setVisible(m_offer.copy);
    m_support->setVisible(m_offer.supportLink);
    m_send->setChecked(state.sendRequested && (request.dialogFlags & dfSendChecked));
    m_screenshot->setChecked(state.screenshotRequested && (request.dialogFlags & dfScreenshotChecked));
    m_screenshot->setEnabled(m_send->isChecked());
    m_copy->setChecked(false);

    // The widest of texts 17 to 21 with one extra "O", at least 75.
    const QFontMetrics fm(font());
    for (int id = 17; id <= 21; ++id)
        m_buttonWidth = std::max(m_buttonWidth, fm.horizontalAdvance(CrashQText(request, id).remove('&') + "O") + 12);

    connect(m_ok, &QPushButton::clicked, this, [this] { finish(0, false); });
    connect(m_terminate, &QPushButton::clicked, this, [this] { finish(0, true); });
    connect(m_details, &QPushButton::clicked, this, [this] {
        resetIdle();
        setDetailed(!m_detailed);
    });
    connect(m_custom, &QPushButton::clicked, this, [this] {
        resetIdle();
        if (m_hooks.customButton && m_hooks.customButton())
            finish(0, false);
    });
    connect(m_send, &QCheckBox::toggled, this, [this](bool on) {
        resetIdle();
        m_screenshot->setEnabled(on);
    });
    connect(m_support, &QPushButton::clicked, this, [this] {
        resetIdle();
        setTopMost(false);
        show();
        QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(CrashTrim(m_request.supportLink))));
    });
    connect(m_tabBar, &QTabBar::currentChanged, this, [this](int index) {
        resetIdle();
        showPage(index);
    });

    // Keyboard order: OK first, then the row, the boxes, the link and the tabs.
    setTabOrder(m_ok, m_details);
    setTabOrder(m_details, m_terminate);
    setTabOrder(m_terminate, m_custom);
    setTabOrder(m_custom, m_send);
    setTabOrder(m_send, m_screenshot);
    setTabOrder(m_screenshot, m_copy);
    setTabOrder(m_copy, m_support);
    setTabOrder(m_support, m_tabBar);

    setDetailed(state.detailedForced || (request.dialogFlags & dfOpenDetailed));
    m_ok->setFocus();
}

QRect TCrashDetailedDialog::workArea() const
{
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

TCrashPage TCrashDetailedDialog::currentPage() const
{
    const int i = m_tabBar->currentIndex();
    return i >= 0 && i < static_cast<int>(m_tabs.size()) ? m_tabs[i] : TCrashPage::General;
}

void TCrashDetailedDialog::setDetailed(bool detailed)
{
    if (m_detailed && !detailed)
        savePlacement();
    m_detailed = detailed;
    const QString details = CrashQText(m_request, 20);
    m_details->setText(detailed ? "<< " + details : details + " >>");
    m_details->setVisible((m_request.dialogFlags & dfShowDetails) && !m_state.detailedForced);
    m_message->setText(detailed ? CrashQText(m_request, 4) : QString::fromStdString(m_request.exceptionMessage));
    m_tabBar->setVisible(detailed);
    if (detailed) {
        setSizeGripEnabled(!ownLook());
        setMinimumSize(340, 200);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (!m_page) {
            const int first = CrashFirstTabIndex(m_request.firstTab, m_tabs);
            const QSignalBlocker block(m_tabBar);
            m_tabBar->setCurrentIndex(first);
            showPage(first);
        }
        applyDetailedPlacement();
    } else {
        dropPage();
        setSizeGripEnabled(false);
        if (isMaximized() || isMinimized())
            showNormal();
        applyCompactSize();
    }
    if (isVisible() && !isMaximized())
        show();
    layoutClient();
    update();
}

void TCrashDetailedDialog::applyCompactSize()
{
    // Each message line (an empty one counts as a blank) plus one line made of the check box
    // texts is measured; long lines wrap within the widest allowed text.
    const QFontMetrics fm(m_message->font());
    const int maxText = 640 - 58;
    QStringList lines = QString::fromStdString(m_request.exceptionMessage).replace("\r\n", "\n").split('\n');
    lines << CrashQText(m_request, 24).remove('&') + "    " + CrashQText(m_request, 22).remove('&');
    int widest = 0;
    for (const QString &line : lines)
        widest = std::max(widest, fm.horizontalAdvance(line.isEmpty() ? QString(" ") : line));
    const int textWidth = std::min(widest + 16, maxText);
    int lineCount = 0;
    for (const QString &line : lines) {
        const int w = fm.horizontalAdvance(line.isEmpty() ? QString(" ") : line);
        lineCount += std::max(1, (w + textWidth - 1) / std::max(1, textWidth));
    }
    const int textHeight = lineCount * fm.lineSpacing();
    const int width = std::max(340, textWidth + 58);
    const int height = std::max(0, textHeight - 39) + 86 + m_offer.bottomBand;
    setMinimumSize(0, 0);
    setClientSize(QSize(width, height));
    setFixedSize(size());
    const QRect area = workArea();
    move(area.left() + (area.width() - this->width()) / 2, area.top() + (area.height() - this->height()) / 2);
}

void TCrashDetailedDialog::applyDetailedPlacement()
{
    setClientSize(QSize(m_settings.width, m_settings.height + m_offer.bottomBand));
    const QRect area = workArea();
    const TCrashRect areaRect{area.left(), area.top(), area.width(), area.height()};
    const TCrashRect wanted = m_settings.hasPosition
                                  ? PlaceInWorkArea({m_settings.left, m_settings.top, width(), height()}, areaRect)
                                  : CentreInWorkArea(width(), height(), areaRect);
    move(wanted.left, wanted.top);
    if (m_settings.windowsState == 3)
        setWindowState(Qt::WindowMaximized);
    else if (m_settings.windowsState == 6)
        setWindowState(Qt::WindowMinimized);
}

void TCrashDetailedDialog::savePlacement()
{
    m_settings.windowsState = isMaximized() ? 3 : isMinimized() ? 6 : 1;
    if (m_settings.windowsState == 1) {
        const QSize c = clientSize();
        m_settings.width = c.width();
        m_settings.height = c.height() - m_offer.bottomBand;
        m_settings.left = x();
        m_settings.top = y();
        m_settings.hasPosition = true;
    }
    SaveCrashDialogPlacement(m_settingsPath, m_settings);
}

void TCrashDetailedDialog::dropPage()
{
    if (!m_page)
        return;
    // A list page gives its column widths back to the settings file when it goes.
    if (auto *list = qobject_cast<TCrashListPage *>(m_page)) {
        const int kind = m_page->property("settingsPage").toInt();
        if (kind == 1)
            storeWidths(m_settings.col, list->columnWidths());
        else if (kind == 2)
            storeWidths(m_settings.colMod, list->columnWidths());
        else if (kind == 3)
            storeWidths(m_settings.colPro, list->columnWidths());
        SaveCrashDialogColumns(m_settingsPath, m_settings, kind);
    }
    delete m_page;
    m_page = nullptr;
}

void TCrashDetailedDialog::showPage(int tabIndex)
{
    dropPage();
    if (tabIndex < 0 || tabIndex >= static_cast<int>(m_tabs.size()))
        return;
    const TCrashShowRequest &r = m_request;
    QWidget *c = client();
    switch (m_tabs[tabIndex]) {
    case TCrashPage::General:
        m_page = new TCrashTextPage(CrashQText(r, 6), QString::fromStdString(r.generalText), c);
        break;
    case TCrashPage::Assembler:
        m_page = new TCrashTextPage(CrashQText(r, 14), QString::fromStdString(r.assemblerText), c);
        break;
    case TCrashPage::CPU:
        m_page = new TCrashTextPage(CrashQText(r, 16), QString::fromStdString(r.cpuText), c);
        break;
    case TCrashPage::CallStack:
        m_page = new TCrashListPage(CrashQText(r, 8), columnTexts(r, 92, 97), r.callStack, true, widthsOf(m_settings.col), c);
        m_page->setProperty("settingsPage", 1);
        break;
    case TCrashPage::Modules:
        m_page = new TCrashListPage(CrashQText(r, 10), columnTexts(r, 126, 132), r.modules, false, widthsOf(m_settings.colMod), c);
        m_page->setProperty("settingsPage", 2);
        break;
    case TCrashPage::Processes:
        m_page = new TCrashListPage(CrashQText(r, 12), columnTexts(r, 133, 140), r.processes, false, widthsOf(m_settings.colPro), c);
        m_page->setProperty("settingsPage", 3);
        break;
    }
    m_page->setObjectName("Page");
    m_page->show();
    layoutClient();
}

void TCrashDetailedDialog::layoutClient()
{
    if (!m_ok)
        return;
    const QSize c = clientSize();
    const int band = m_offer.bottomBand;
    const int rowTop = c.height() - 32 - band;

    m_icon->setGeometry(8, 8, 32, 32);
    if (m_detailed) {
        m_message->setGeometry(48, 8, std::max(0, c.width() - 56), 34);
        const int tabsTop = 46;
        m_tabBar->setGeometry(4, tabsTop, std::max(0, c.width() - 8), m_tabBar->sizeHint().height());
        if (m_page) {
            const int pageTop = tabsTop + m_tabBar->height();
            m_page->setGeometry(4, pageTop, std::max(0, c.width() - 8), std::max(0, rowTop - 6 - pageTop));
        }
    } else {
        m_message->setGeometry(48, 8, std::max(0, c.width() - 56), std::max(0, rowTop - 12));
    }

    const int bw = m_buttonWidth;
    m_terminate->setGeometry(5, rowTop, bw, ButtonHeight);
    m_custom->setGeometry(m_offer.terminate ? bw + 13 : 5, rowTop, bw, ButtonHeight);
    m_ok->setGeometry((c.width() - bw) / 2, rowTop, bw, ButtonHeight);
    m_details->setGeometry(c.width() - 5 - bw, rowTop, bw, ButtonHeight);

    const int boxTop = rowTop + 34;
    const int half = c.width() / 2;
    m_send->setGeometry(4, boxTop, std::max(0, half - 8), 16);
    m_copy->setGeometry(half, boxTop, std::max(0, half - 8), 16);
    m_screenshot->setGeometry(23, boxTop + 16, std::max(0, half - 27), 16);
    const int lastBoxTop = m_offer.screenshot ? boxTop + 16 : boxTop;
    const int linkWidth = m_support->sizeHint().width();
    m_support->setGeometry(c.width() - 4 - linkWidth, lastBoxTop, linkWidth, 16);
}

void TCrashDetailedDialog::finish(int style, bool terminate)
{
    m_state.style = style;
    if (terminate)
        m_state.terminateRequested = true;
    accept();
}

void TCrashDetailedDialog::closeEvent(QCloseEvent *event)
{
    m_state.style = 0; // the close box, Escape or the auto-close
    TCrashDialogBase::closeEvent(event);
}

void TCrashDetailedDialog::done(int result)
{
    if (m_finishing)
        return;
    m_finishing = true;
    m_state.style = 0;
    m_state.sendRequested = m_send->isChecked();
    m_state.screenshotRequested = m_screenshot->isChecked();
    m_state.copyRequested = m_copy->isChecked();
    if (m_detailed)
        savePlacement();
    dropPage();
    TCrashDialogBase::done(result);
}

} // namespace crashreport
