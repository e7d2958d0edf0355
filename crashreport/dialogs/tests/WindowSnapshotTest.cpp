// The program's side of the window fields of a report: the snapshot kept on the GUI thread from
// real widgets and real events (offscreen platform), as the Qt toolkit of the library keeps it.
#include "TCrashWindowSnapshot.h"

#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace crashreport;

namespace {

// Feeds the snapshot as the toolkit does: every event of the application, and focus changes.
class SnapshotFeed : public QObject {
public:
    explicit SnapshotFeed(TCrashWindowSnapshot &snapshot) : m_snapshot(snapshot)
    {
        qApp->installEventFilter(this);
        connect(qApp, &QApplication::focusChanged, this, [this] { m_snapshot.refresh(); });
    }
    ~SnapshotFeed() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        m_snapshot.noteEvent(watched, event);
        return false;
    }

private:
    TCrashWindowSnapshot &m_snapshot;
};

bool sameRect(const TCrashShowRect &r, const QRect &q)
{
    return r.left == q.left() && r.top == q.top() && r.width == q.width() && r.height == q.height();
}

class WindowSnapshotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *central = new QWidget(&m_window);
        auto *layout = new QVBoxLayout(central);
        m_edit = new QLineEdit(central);
        m_button = new QPushButton("Save", central);
        layout->addWidget(m_edit);
        layout->addWidget(m_button);
        m_window.setCentralWidget(central);
        m_window.setGeometry(50, 60, 300, 120);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
        QApplication::setActiveWindow(&m_window);
        m_edit->setFocus();
        QApplication::processEvents();
    }

    TCrashShowRequest snapshot() const
    {
        TCrashShowRequest r;
        m_snapshot.fill(r);
        return r;
    }

    TCrashWindowSnapshot m_snapshot;
    SnapshotFeed m_feed{m_snapshot};
    QMainWindow m_window;
    QLineEdit *m_edit = nullptr;
    QPushButton *m_button = nullptr;
};

} // namespace

TEST_F(WindowSnapshotTest, RecordsTheWindowsAndTheFocusedControl)
{
    TCrashShowRequest r = snapshot();
    ASSERT_EQ(r.topLevelWindows.size(), 1u);
    EXPECT_TRUE(sameRect(r.topLevelWindows[0], m_window.frameGeometry()));
    EXPECT_TRUE(sameRect(r.foregroundWindow, m_window.frameGeometry()));
    EXPECT_EQ(r.mainWindowId, static_cast<std::uint64_t>(m_window.internalWinId()));
    EXPECT_NE(r.mainWindowId, 0u);
    ASSERT_TRUE(r.hasFocusRect);
    EXPECT_TRUE(sameRect(r.focusRect, QRect(m_edit->mapToGlobal(QPoint(0, 0)), m_edit->size())));

    // Focus moves by keyboard, the window moves: the snapshot follows both.
    QTest::keyClick(m_edit, Qt::Key_Tab);
    ASSERT_TRUE(m_button->hasFocus());
    m_window.move(200, 210);
    QApplication::processEvents();
    r = snapshot();
    EXPECT_TRUE(sameRect(r.focusRect, QRect(m_button->mapToGlobal(QPoint(0, 0)), m_button->size())));
    ASSERT_EQ(r.topLevelWindows.size(), 1u);
    EXPECT_TRUE(sameRect(r.topLevelWindows[0], m_window.frameGeometry()));
}

TEST_F(WindowSnapshotTest, RecordsTheCursorWhereTheMouseWasLastSeen)
{
    EXPECT_EQ(snapshot().cursorX, -1) << "no mouse seen yet";
    QTest::mouseClick(m_edit, Qt::LeftButton, {}, QPoint(7, 5));
    TCrashShowRequest r = snapshot();
    const QPoint at = m_edit->mapToGlobal(QPoint(7, 5));
    EXPECT_EQ(r.cursorX, at.x());
    EXPECT_EQ(r.cursorY, at.y());
    EXPECT_EQ(r.cursorShape, Qt::IBeamCursor);

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QTest::mouseClick(m_button, Qt::LeftButton, {}, QPoint(3, 4));
    QGuiApplication::restoreOverrideCursor();
    r = snapshot();
    EXPECT_EQ(r.cursorX, m_button->mapToGlobal(QPoint(3, 4)).x());
    EXPECT_EQ(r.cursorShape, Qt::WaitCursor) << "the application's override cursor wins";
}

TEST_F(WindowSnapshotTest, HiddenWindowsAndPopupsAreNotThePrograms)
{
    QWidget tool(nullptr, Qt::Popup);
    tool.setGeometry(10, 10, 50, 50);
    tool.show();
    QWidget hidden;
    hidden.setGeometry(500, 500, 50, 50);
    QApplication::processEvents();
    m_snapshot.refresh();
    EXPECT_EQ(snapshot().topLevelWindows.size(), 1u);
}
