// The built program as a process on a real X server (Xvfb): its message boxes and its
// window are answered with real key presses and clicks through xdotool, so the program
// carries no hook for being tested.
#include "TempDeviceFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace
{

const QByteArray DeviceFile = TempDeviceFolder::crlf({ "[Settings]", "Mode of Measurement=2", "Buzzer=1" });

class ProgramProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs Xvfb and xdotool (scripts/install-deps.sh installs them)";
        // -displayfd: the server picks a free display and prints its number when it is ready.
        m_server.start(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                QStringLiteral("tcp") });
        ASSERT_TRUE(m_server.waitForStarted(10000));
        QElapsedTimer timer;
        timer.start();
        while (!m_server.canReadLine() && timer.elapsed() < 20000)
            m_server.waitForReadyRead(500);
        const QByteArray number = m_server.readLine().trimmed();
        ASSERT_FALSE(number.isEmpty()) << "Xvfb did not report its display";
        m_display = QStringLiteral(":") + QString::fromLatin1(number);
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
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0)
            return {};
        const QByteArray output = tool.readAllStandardOutput();
        return output.isNull() ? QByteArray("") : output;
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
