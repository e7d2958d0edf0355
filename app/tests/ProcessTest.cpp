// The built program as a process on a real X server (Xvfb): its message boxes and its
// window are answered with real key presses and clicks through xdotool, so the program
// carries no hook for being tested.
#include "XvfbDisplay.h"

#include "TempDeviceFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace
{

const QByteArray DeviceFile = TempDeviceFolder::crlf({ "[Settings]", "Mode of Measurement=2", "Buzzer=1" });

// A dump of the X screen in xwd's format, compared pixel by pixel. The pixels are not
// decoded: two dumps of one server share one layout.
class Screenshot
{
public:
    static Screenshot fromXwd(const QByteArray &bytes)
    {
        Screenshot shot;
        if (bytes.size() < 100)
            return shot;
        auto field = [&bytes](int index) {
            const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData()) + 4 * index;
            return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
        };
        const quint32 headerSize = field(0);
        shot.m_width = int(field(4));
        shot.m_height = int(field(5));
        shot.m_pixelBytes = int(field(11) / 8);
        shot.m_lineBytes = int(field(12));
        const qint64 start = qint64(headerSize) + qint64(field(19)) * 12;
        if (shot.m_pixelBytes <= 0 || start + qint64(shot.m_lineBytes) * shot.m_height > bytes.size())
            return {};
        shot.m_pixels = bytes.mid(start, qint64(shot.m_lineBytes) * shot.m_height);
        return shot;
    }

    bool isNull() const { return m_pixels.isEmpty(); }

    // The bounding box of the pixels that differ from other's.
    QRect changedArea(const Screenshot &other, int fromRow = 0) const
    {
        QRect area;
        if (isNull() || other.m_pixels.size() != m_pixels.size())
            return QRect(0, 0, m_width, m_height);
        for (int y = fromRow; y < m_height; ++y) {
            if (sameRow(other, y))
                continue;
            for (int x = 0; x < m_width; ++x)
                if (!samePixel(other, x, y))
                    area |= QRect(x, y, 1, 1);
        }
        return area;
    }

    // The lowest band of changed rows (rows with changes, separated from the rest by at
    // least `gap` unchanged rows) and the columns that changed in it.
    QRect lowestChangedBand(const Screenshot &other, int gap = 6) const
    {
        const QRect all = changedArea(other);
        if (all.isEmpty())
            return all;
        int top = all.bottom();
        for (int y = all.bottom(), unchanged = 0; y >= all.top() && unchanged <= gap; --y) {
            const bool changed = !sameRow(other, y);
            unchanged = changed ? 0 : unchanged + 1;
            if (changed)
                top = y;
        }
        return changedArea(other, top);
    }

private:
    bool samePixel(const Screenshot &other, int x, int y) const
    {
        const qint64 at = qint64(y) * m_lineBytes + qint64(x) * m_pixelBytes;
        return std::memcmp(m_pixels.constData() + at, other.m_pixels.constData() + at, size_t(m_pixelBytes)) == 0;
    }
    bool sameRow(const Screenshot &other, int y) const
    {
        const qint64 at = qint64(y) * m_lineBytes;
        return std::memcmp(m_pixels.constData() + at, other.m_pixels.constData() + at, size_t(m_lineBytes)) == 0;
    }

    int m_width = 0;
    int m_height = 0;
    int m_pixelBytes = 0;
    int m_lineBytes = 0;
    QByteArray m_pixels;
};

class ProgramProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xwd")).isEmpty())
            GTEST_SKIP() << "needs Xvfb, xdotool and xwd (scripts/install-deps.sh installs them)";
        m_display = StartXvfb(m_server);
        ASSERT_FALSE(m_display.isEmpty()) << "Xvfb did not start or did not report its display";
    }

    void TearDown() override
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(5000);
        }
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            if (!m_server.waitForFinished(5000)) {
                m_server.kill();
                m_server.waitForFinished(5000);
            }
        }
    }

    void startProgram(const QString &folder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Sanitizer builds: leaks inside system libraries of the X11 platform are not ours.
        const QString lsan = environment.value(QStringLiteral("LSAN_OPTIONS"));
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
            (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':'))
                + QStringLiteral("suppressions=" VETU_LSAN_SUPPRESSIONS));
        m_program.setProcessEnvironment(environment);
        m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program.start(QStringLiteral(VETU_CONFIG_PATH), { folder });
        ASSERT_TRUE(m_program.waitForStarted(10000));
    }

    // Runs xdotool on the server; returns its output, or a null array when it failed.
    QByteArray xdotool(const QStringList &arguments)
    {
        return RunXdotool(m_display, arguments);
    }

    // The id of the first visible window whose title matches pattern, waiting up to
    // timeoutMs for it to appear.
    QString waitForWindow(const QString &pattern, int timeoutMs = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            const QByteArray found = xdotool({ QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                QStringLiteral("--name"), pattern });
            if (!found.trimmed().isEmpty())
                return QString::fromLatin1(found.trimmed().split('\n').first());
            if (m_program.state() == QProcess::NotRunning || timer.elapsed() >= timeoutMs)
                break;
            QThread::msleep(100);
        }
        return {};
    }

    // Gives the window the keyboard and presses keys there.
    bool pressKeys(const QString &window, const QStringList &keys)
    {
        return !xdotool(QStringList { QStringLiteral("windowfocus"), QStringLiteral("--sync"), window,
                            QStringLiteral("key"), QStringLiteral("--clearmodifiers") }
            + keys)
                    .isNull();
    }

    // Repeats an input until the program has ended. On a loaded machine a window can be
    // visible a moment before it takes input, and a key sent then is lost.
    bool repeatUntilFinished(const std::function<void()> &input)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            input();
            if (m_program.waitForFinished(4000))
                return true;
        }
        return m_program.waitForFinished(20000);
    }

    // The screen as xwd dumps it; null when that failed.
    Screenshot screenshot()
    {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("xwd"), { QStringLiteral("-root"), QStringLiteral("-silent") });
        if (!tool.waitForFinished(20000) || tool.exitCode() != 0)
            return {};
        return Screenshot::fromXwd(tool.readAllStandardOutput());
    }

    // Waits until the screen has stopped changing after an input, and returns it.
    Screenshot settledScreenshot()
    {
        Screenshot previous = screenshot();
        for (int attempt = 0; attempt < 20; ++attempt) {
            QThread::msleep(300);
            Screenshot next = screenshot();
            if (!next.isNull() && next.changedArea(previous).isEmpty())
                return next;
            previous = next;
        }
        return previous;
    }

    QString m_display;
    QProcess m_server;
    QProcess m_program;
};

QStringList Entries(const TempDeviceFolder &folder)
{
    return QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

TEST_F(ProgramProcessTest, WithoutDeviceFileTheMessageIsShownAndTheProgramEndsCreatingNothing)
{
    TempDeviceFolder device;
    startProgram(device.path());

    const QString box = waitForWindow(QStringLiteral("^Error$"));
    ASSERT_FALSE(box.isEmpty()) << "no message box appeared";
    EXPECT_TRUE(waitForWindow(QStringLiteral("^Application Software for Vetu$"), 0).isEmpty())
        << "the main window must not be shown";
    ASSERT_TRUE(repeatUntilFinished([&] { pressKeys(box, { QStringLiteral("Return") }); }));
    EXPECT_EQ(m_program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_program.exitCode(), 0);
    EXPECT_TRUE(Entries(device).isEmpty()) << Entries(device).join(QLatin1Char(' ')).toStdString();
}

TEST_F(ProgramProcessTest, FirstStartStoresTheLanguageAndFileExitEndsTheProgram)
{
    TempDeviceFolder device;
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), DeviceFile);
    startProgram(device.path());

    const QString dialog = waitForWindow(QStringLiteral("^Language / Sprache"));
    ASSERT_FALSE(dialog.isEmpty()) << "no language dialog appeared";
    // OK with English, the preselected item; repeated while the key may have come too early.
    QString window;
    for (int attempt = 0; attempt < 5 && window.isEmpty(); ++attempt) {
        pressKeys(dialog, { QStringLiteral("Return") });
        window = waitForWindow(QStringLiteral("^Application Software for Vetu$"), 4000);
    }
    ASSERT_FALSE(window.isEmpty()) << "the main window did not appear in English";
    EXPECT_EQ(device.readFile(QStringLiteral("Configuration.ini")),
        TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000" }));

    // File > Exit: open the menu with a click on its title, then choose its only item. A
    // repeat first closes a menu that a lost key may have left open.
    bool first = true;
    ASSERT_TRUE(repeatUntilFinished([&] {
        if (!first)
            pressKeys(window, { QStringLiteral("Escape"), QStringLiteral("Escape") });
        first = false;
        xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("mousemove"),
            QStringLiteral("--window"), window, QStringLiteral("15"), QStringLiteral("10"),
            QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("sleep"), QStringLiteral("0.5"),
            QStringLiteral("key"), QStringLiteral("Down"), QStringLiteral("Return") });
    }));
    EXPECT_EQ(m_program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(m_program.exitCode(), 0);
    EXPECT_EQ(device.readFile(QStringLiteral("Vetu-Configuration.txt")), DeviceFile);
    EXPECT_EQ(device.readFile(QStringLiteral("Configuration.ini")),
        TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000" }));
}

// On a laptop-sized screen the whole window is on the screen, and "Save Settings" is
// reached with the keyboard (Tab through the page) and with the mouse.
TEST_F(ProgramProcessTest, OnALaptopScreenSaveSettingsIsReachedWithKeyboardAndMouse)
{
    TempDeviceFolder device;
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"), DeviceFile);
    device.writeFile(QStringLiteral("Configuration.ini"), TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=30000" }));
    startProgram(device.path());
    const QString window = waitForWindow(QStringLiteral("^Programa de operaci"));
    ASSERT_FALSE(window.isEmpty()) << "the main window did not appear";

    const QByteArray geometry = xdotool({ QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window });
    int x = -1, y = -1, width = 0, height = 0;
    for (const QByteArray &line : geometry.split('\n')) {
        const QList<QByteArray> pair = line.split('=');
        if (pair.size() != 2)
            continue;
        const int value = pair[1].toInt();
        if (pair[0] == "X") x = value;
        if (pair[0] == "Y") y = value;
        if (pair[0] == "WIDTH") width = value;
        if (pair[0] == "HEIGHT") height = value;
    }
    EXPECT_TRUE(QRect(0, 0, 1366, 768).contains(QRect(x, y, width, height)))
        << x << "," << y << " " << width << "x" << height;

    // The keyboard: the first list of the page takes the next choice, then Tab leads to
    // the button, the last control of the page, and Space presses it.
    const Screenshot before = settledScreenshot();
    ASSERT_FALSE(before.isNull());
    pressKeys(window, { QStringLiteral("Tab"), QStringLiteral("Down") });
    const Screenshot changed = settledScreenshot();
    // The button now enabled is the lowest change on the screen.
    const QRect button = changed.lowestChangedBand(before);
    ASSERT_FALSE(button.isEmpty());
    QStringList toButton;
    for (int i = 0; i < 10; ++i)
        toButton << QStringLiteral("Tab");
    pressKeys(window, toButton + QStringList { QStringLiteral("space") });
    QElapsedTimer timer;
    timer.start();
    while (!device.readFile(QStringLiteral("Vetu-Configuration.txt")).contains("Mode of Measurement=3\r\n")
        && timer.elapsed() < 10000)
        QThread::msleep(100);
    EXPECT_TRUE(device.readFile(QStringLiteral("Vetu-Configuration.txt")).contains("Mode of Measurement=3\r\n"))
        << device.readFile(QStringLiteral("Vetu-Configuration.txt")).toStdString();

    // The mouse: another choice, then a click in the middle of the button.
    const QByteArray savedByKeyboard = device.readFile(QStringLiteral("Vetu-Configuration.txt"));
    pressKeys(window, { QStringLiteral("shift+Tab"), QStringLiteral("Down") });
    settledScreenshot();
    ASSERT_EQ(device.readFile(QStringLiteral("Vetu-Configuration.txt")), savedByKeyboard);
    xdotool({ QStringLiteral("mousemove"), QString::number(button.center().x()), QString::number(button.center().y()),
        QStringLiteral("click"), QStringLiteral("1") });
    timer.restart();
    while (device.readFile(QStringLiteral("Vetu-Configuration.txt")) == savedByKeyboard && timer.elapsed() < 10000)
        QThread::msleep(100);
    EXPECT_NE(device.readFile(QStringLiteral("Vetu-Configuration.txt")), savedByKeyboard)
        << "the click did not save";
}
