// The detailed dialog as a real window, driven by keys and clicks.
#include "CrashDialogSettings.h"
#include "DialogTestSupport.h"
#include "TCrashDetailedDialog.h"
#include "TCrashListPage.h"
#include "TCrashTextPage.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

using namespace crashreport;
using crashreport::testing::Find;
using crashreport::testing::SampleRequest;

namespace {

class DetailedDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<TCrashDetailedDialog> open(const TCrashShowRequest &r)
    {
        m_request = r;
        m_state = {};
        m_state.style = 3;
        m_state.sendRequested = r.sendConfigured;
        m_state.screenshotRequested = r.screenshotRequested;
        auto dialog = std::make_unique<TCrashDetailedDialog>(m_request, m_state, m_hooks, settingsPath());
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }
    std::string settingsPath() const { return m_folder.file("CrashReport.ini"); }
    std::string settingsText() const
    {
        std::ifstream in(settingsPath(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    crashreport::testing::CrashTempFolder m_folder{"dialog"};
    TCrashShowRequest m_request;
    TCrashShowState m_state;
    TCrashDialogHooks m_hooks;
};

bool shown(QWidget *dialog, const char *name)
{
    QWidget *w = dialog->findChild<QWidget *>(name);
    return w && w->isVisibleTo(dialog);
}

} // namespace

struct FlagCase {
    const char *name;
    std::uint32_t flags;
    int errorCount;
    bool details, custom, send, screenshot, copy, terminate;
};

TEST_F(DetailedDialogTest, EachDialogFlagShowsItsControl)
{
    const FlagCase cases[] = {
        {"defaults", 0x18F, 1, true, false, true, true, true, false},
        {"no details button", 0x187, 1, false, false, true, true, true, false},
        {"custom button", 0x38F, 1, true, true, true, true, true, false},
        {"no sending offered", 0x10F, 1, true, false, false, false, true, false},
        {"no screenshot offered", 0x08F, 1, true, false, true, false, true, false},
        {"no copy box", 0x18B, 1, true, false, true, true, false, false},
        {"fourth report: restart", 0x18F, 4, true, false, true, true, true, true},
        {"opens detailed: no compact toggle needed but button stays", 0x19F, 1, true, false, true, true, true, false},
    };
    for (const auto &c : cases) {
        TCrashShowRequest r = SampleRequest();
        r.dialogFlags = c.flags;
        r.errorCount = c.errorCount;
        auto d = open(r);
        EXPECT_EQ(shown(d.get(), "DetailsButton"), c.details) << c.name;
        EXPECT_EQ(shown(d.get(), "CustomButton"), c.custom) << c.name;
        EXPECT_EQ(shown(d.get(), "SendCheckBox"), c.send) << c.name;
        EXPECT_EQ(shown(d.get(), "ScreenshotCheckBox"), c.screenshot) << c.name;
        EXPECT_EQ(shown(d.get(), "CopyCheckBox"), c.copy) << c.name;
        EXPECT_EQ(shown(d.get(), "TerminateButton"), c.terminate) << c.name;
        EXPECT_EQ(shown(d.get(), "Tabs"), (c.flags & 0x10) != 0) << c.name;
    }
}

TEST_F(DetailedDialogTest, CheckBoxesStartFromTheFlagsAndTheSendBoxGatesTheScreenshot)
{
    TCrashShowRequest r = SampleRequest();
    r.dialogFlags = 0x18C; // neither box checked initially
    auto d = open(r);
    auto *send = Find<QCheckBox>(d.get(), "SendCheckBox");
    auto *shot = Find<QCheckBox>(d.get(), "ScreenshotCheckBox");
    EXPECT_FALSE(send->isChecked());
    EXPECT_FALSE(shot->isChecked());
    EXPECT_FALSE(shot->isEnabled());
    QTest::mouseClick(send, Qt::LeftButton, {}, QPoint(5, send->height() / 2));
    EXPECT_TRUE(send->isChecked());
    EXPECT_TRUE(shot->isEnabled());
    QTest::keyClick(d.get(), Qt::Key_C, Qt::AltModifier); // "&Copy to Clipboard"
    EXPECT_TRUE(QTest::qWaitFor([&] { return Find<QCheckBox>(d.get(), "CopyCheckBox")->isChecked(); }, 2000)); // mnemonics click after a short animation
    QTest::keyClick(d.get(), Qt::Key_Return);              // OK is the default button
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(m_state.sendRequested);
    EXPECT_FALSE(m_state.screenshotRequested);
    EXPECT_TRUE(m_state.copyRequested);
    EXPECT_EQ(m_state.style, 0);
}

struct BandCase {
    bool send;
    bool screenshot;
    std::uint32_t flags;
    int band;
};

TEST_F(DetailedDialogTest, ButtonRowSitsAboveTheBottomBand)
{
    for (const BandCase c : {BandCase{true, true, 0x18F, 34}, BandCase{false, false, 0x18F, 20}, BandCase{false, false, 0x18B, 0}}) {
        TCrashShowRequest r = SampleRequest();
        r.sendConfigured = c.send;
        r.screenshotRequested = c.screenshot;
        r.dialogFlags = c.flags;
        r.errorCount = 5;
        auto d = open(r);
        ASSERT_EQ(d->bottomBand(), c.band);
        const int clientHeight = d->client()->height();
        auto *ok = Find<QPushButton>(d.get(), "OKButton");
        EXPECT_EQ(ok->y(), clientHeight - 32 - c.band) << c.band;
        EXPECT_EQ(ok->height(), 25);
        EXPECT_GE(ok->width(), 75);
        EXPECT_EQ(Find<QPushButton>(d.get(), "TerminateButton")->x(), 5);
        EXPECT_EQ(ok->x(), (d->client()->width() - ok->width()) / 2);
        auto *details = Find<QPushButton>(d.get(), "DetailsButton");
        EXPECT_EQ(details->x() + details->width(), d->client()->width() - 5);
        if (c.band == 34) {
            EXPECT_EQ(Find<QCheckBox>(d.get(), "SendCheckBox")->y(), ok->y() + 34);
            EXPECT_EQ(Find<QCheckBox>(d.get(), "ScreenshotCheckBox")->y(), ok->y() + 50);
            EXPECT_EQ(Find<QCheckBox>(d.get(), "ScreenshotCheckBox")->x(), 23);
        }
    }
}

TEST_F(DetailedDialogTest, DetailsSwitchesBetweenCompactAndDetailedAndKeepsTheSize)
{
    TCrashShowRequest r = SampleRequest();
    auto d = open(r);
    auto *details = Find<QPushButton>(d.get(), "DetailsButton");
    auto *message = Find<QLabel>(d.get(), "MessageLabel");
    EXPECT_FALSE(d->detailedMode());
    EXPECT_EQ(details->text(), "&Details >>");
    EXPECT_EQ(message->text().toStdString(), r.exceptionMessage) << "the message is shown as it is, markup included";
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    const QSize compact = d->client()->size();
    EXPECT_GE(compact.width(), 340);
    EXPECT_LE(compact.width(), 640);

    QTest::mouseClick(details, Qt::LeftButton);
    EXPECT_TRUE(d->detailedMode());
    EXPECT_EQ(details->text(), "<< &Details");
    EXPECT_EQ(message->text(), "An error has occurred during program execution.\r\nPlease read the following information for further details.");
    EXPECT_TRUE(shown(d.get(), "Tabs"));
    EXPECT_EQ(d->client()->size(), QSize(745, 468 + d->bottomBand()));

    d->resize(d->width() - 45, d->height() - 68);
    QTest::mouseClick(details, Qt::LeftButton);
    EXPECT_FALSE(d->detailedMode());
    EXPECT_EQ(d->client()->size(), compact);
    const TCrashDialogSettings saved = LoadCrashDialogSettings(settingsPath());
    EXPECT_EQ(saved.width, 700);
    EXPECT_EQ(saved.height, 400);
    EXPECT_TRUE(saved.hasPosition);
    EXPECT_EQ(saved.windowsState, 1);

    QTest::mouseClick(details, Qt::LeftButton);
    EXPECT_EQ(d->client()->size(), QSize(700, 400 + d->bottomBand())) << "the stored size comes back";
}

TEST_F(DetailedDialogTest, StoredPositionOutsideTheWorkAreaIsCentred)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    TCrashDialogSettings s;
    s.width = 500;
    s.height = 300;
    s.hasPosition = true;
    s.left = area.right() + 400;
    s.top = 10;
    ASSERT_TRUE(SaveCrashDialogCoordinates(settingsPath(), s));
    TCrashShowRequest r = SampleRequest();
    r.dialogFlags |= 0x10;
    auto d = open(r);
    EXPECT_EQ(d->x(), area.left() + (area.width() - d->width()) / 2);
    EXPECT_EQ(d->y(), area.top() + (area.height() - d->height()) / 2);

    s.left = area.left() + 7;
    s.top = area.top() + 9;
    ASSERT_TRUE(SaveCrashDialogCoordinates(settingsPath(), s));
    auto inside = open(r);
    EXPECT_EQ(inside->pos(), QPoint(s.left, s.top));
}

TEST_F(DetailedDialogTest, FirstTabFallsBackToGeneralWhenItsTabIsAbsent)
{
    TCrashShowRequest r = SampleRequest();
    r.dialogFlags |= 0x10;
    r.firstTab = 3;
    r.logSections = 0;
    auto d = open(r);
    EXPECT_EQ(Find<QTabBar>(d.get(), "Tabs")->count(), 2);
    EXPECT_EQ(d->currentPage(), TCrashPage::General);
    auto *page = qobject_cast<TCrashTextPage *>(d->currentPageWidget());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->edit()->toPlainText(), QString::fromStdString(r.generalText).replace("\r\n", "\n"));

    r.logSections = 0x30;
    auto full = open(r);
    EXPECT_EQ(full->currentPage(), TCrashPage::Processes);
}

TEST_F(DetailedDialogTest, CallStackIsATreeByThreadAndGivesItsColumnWidthsBack)
{
    TCrashShowRequest r = SampleRequest();
    r.dialogFlags |= 0x10;
    r.firstTab = 1;
    auto d = open(r);
    auto *page = qobject_cast<TCrashListPage *>(d->currentPageWidget());
    ASSERT_NE(page, nullptr);
    QTreeWidget *tree = page->list();
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    EXPECT_EQ(tree->topLevelItem(0)->childCount(), 2);
    EXPECT_EQ(tree->topLevelItem(1)->childCount(), 1);
    EXPECT_EQ(tree->topLevelItem(0)->child(0)->text(4), "FormShow");
    EXPECT_EQ(tree->headerItem()->text(0), "Address");
    EXPECT_EQ(tree->headerItem()->text(5), "Line");
    EXPECT_EQ(tree->columnWidth(0), 89);

    // Collapse the first thread with the keyboard.
    tree->setFocus();
    tree->setCurrentItem(tree->topLevelItem(0));
    QTest::keyClick(tree, Qt::Key_Left);
    EXPECT_FALSE(tree->topLevelItem(0)->isExpanded());

    tree->setColumnWidth(4, 250);
    auto *tabs = Find<QTabBar>(d.get(), "Tabs");
    tabs->setCurrentIndex(0);
    EXPECT_EQ(LoadCrashDialogSettings(settingsPath()).col[4], 250);
}

TEST_F(DetailedDialogTest, TextPagesColourLinesAndNeverReadMarkup)
{
    TCrashShowRequest r = SampleRequest();
    r.dialogFlags |= 0x10;
    r.firstTab = 0;
    r.generalText = "Exception:\r\n----------\r\n  2.5 Message: <i>not italic</i>\r\nplain line";
    auto d = open(r);
    auto *page = qobject_cast<TCrashTextPage *>(d->currentPageWidget());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(page->edit()->toPlainText().contains("<i>not italic</i>"));
    EXPECT_EQ(TCrashTextPage::kindOf("Exception:", "----------"), TCrashTextPage::LineKind::Heading);
    EXPECT_EQ(TCrashTextPage::kindOf("----------", "  2.5 Message: x"), TCrashTextPage::LineKind::Dashes);
    EXPECT_EQ(TCrashTextPage::kindOf("  2.5 Message: x", ""), TCrashTextPage::LineKind::NameValue);
    EXPECT_EQ(TCrashTextPage::kindOf("plain line", ""), TCrashTextPage::LineKind::Plain);
    QTextCursor cursor(page->edit()->document());
    cursor.movePosition(QTextCursor::NextCharacter);
    EXPECT_EQ(cursor.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(0, 100, 100));
}

TEST_F(DetailedDialogTest, TerminateCustomAndEscape)
{
    TCrashShowRequest r = SampleRequest();
    r.errorCount = 4;
    r.terminateAction = 1;
    r.dialogFlags |= 0x200;
    int customClicks = 0;
    bool closeOnCustom = false;
    m_hooks.customButton = [&] {
        ++customClicks;
        return closeOnCustom;
    };
    auto d = open(r);
    auto *terminate = Find<QPushButton>(d.get(), "TerminateButton");
    EXPECT_EQ(terminate->text(), "&Terminate");
    auto *custom = Find<QPushButton>(d.get(), "CustomButton");
    EXPECT_EQ(custom->x(), d->buttonWidth() + 13);
    QTest::mouseClick(custom, Qt::LeftButton);
    EXPECT_EQ(customClicks, 1);
    EXPECT_TRUE(d->isVisible());
    QTest::keyClick(d.get(), Qt::Key_T, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !d->isVisible(); }, 2000));
    EXPECT_TRUE(m_state.terminateRequested);

    closeOnCustom = true;
    auto second = open(r);
    QTest::mouseClick(Find<QPushButton>(second.get(), "CustomButton"), Qt::LeftButton);
    EXPECT_FALSE(second->isVisible());
    EXPECT_FALSE(m_state.terminateRequested);

    auto third = open(r);
    QTest::keyClick(third.get(), Qt::Key_Escape);
    EXPECT_FALSE(third->isVisible());
    EXPECT_EQ(m_state.style, 0);
    EXPECT_FALSE(m_state.terminateRequested);
}

TEST_F(DetailedDialogTest, OwnLookPaintsItsFrameInsteadOfTheSystemOne)
{
    TCrashShowRequest r = SampleRequest();
    r.dialogFlags = 0x18F | 0x040;
    auto d = open(r);
    EXPECT_TRUE(d->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(d->client()->y(), TCrashDialogBase::OwnFrameWidth + TCrashDialogBase::OwnCaptionHeight);
    const QImage image = d->grab().toImage();
    EXPECT_EQ(QColor(image.pixel(0, 0)).rgb() & 0xFFFFFF, (d->isActiveWindow() ? QColor(64, 64, 64) : QColor(48, 48, 48)).rgb() & 0xFFFFFF);
    EXPECT_EQ(QColor(image.pixel(d->width() / 2, d->height() - 2)).rgb() & 0xFFFFFF,
              (d->isActiveWindow() ? QColor(128, 128, 128) : QColor(96, 96, 96)).rgb() & 0xFFFFFF);

    r.dialogFlags = 0x18F;
    auto plain = open(r);
    EXPECT_FALSE(plain->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(plain->client()->pos(), QPoint(0, 0));
}

TEST_F(DetailedDialogTest, AutoCloseAfterTheSecondsWithoutInputAndNeverWithZero)
{
    TCrashShowRequest r = SampleRequest();
    r.dialogCloseSeconds = 2;
    auto d = open(r);
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1500);
    QTest::keyClick(Find<QCheckBox>(d.get(), "SendCheckBox"), Qt::Key_Space); // input restarts the count
    EXPECT_TRUE(QTest::qWaitFor([&] { return !d->isVisible(); }, 6000));
    EXPECT_GE(clock.elapsed(), 3400) << "the key press restarted the count";
    EXPECT_EQ(m_state.style, 0);

    r.dialogCloseSeconds = 0;
    auto never = open(r);
    QTest::qWait(2500);
    EXPECT_TRUE(never->isVisible());
    EXPECT_EQ(never->idleSeconds(), 0);
}
