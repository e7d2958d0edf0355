// vetu-config as a process on a real X server (Xvfb) with the crash-report library inside: a
// write that the device refuses is reported once through the library (its log file) and the
// program goes on with its window. The test looks only at the log and the program's windows:
// whatever window the report may show is closed with Escape.
#include "XvfbDisplay.h"

#include "TLogFile.h"
#include "TempDeviceFolder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <functional>

namespace
{

const QString MainWindowTitle = QStringLiteral("^Application Software for Vetu$");

class CrashReportProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char *tool : { "Xvfb", "xdotool" })
            ASSERT_FALSE(QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                << tool << " is missing: scripts/install-deps.sh installs it";
        m_display = StartXvfb(m_server);
        ASSERT_FALSE(m_display.isEmpty()) << "Xvfb did not start or did not report its display";
        ASSERT_TRUE(m_state.isValid());
    }

    void TearDown() override
    {
        for (QProcess *p : { &m_program, &m_server }) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    void startProgram(const QString &folder)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // The log goes to <state folder>/CrashReport/; the dialogs' settings to the config folder.
        environment.insert(QStringLiteral("XDG_STATE_HOME"), m_state.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_state.path());
        const QString lsan = environment.value(QStringLiteral("LSAN_OPTIONS"));
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
            (lsan.isEmpty() ? QString() : lsan + QLatin1Char(':'))
                + QStringLiteral("suppressions=" VETU_LSAN_SUPPRESSIONS));
        m_program.setProcessEnvironment(environment);
        // Into files: a report on standard error can be larger than a pipe holds.
        m_program.setStandardOutputFile(m_state.path() + QStringLiteral("/program.out"));
        m_program.setStandardErrorFile(m_state.path() + QStringLiteral("/program.err"));
        m_program.start(QStringLiteral(VETU_CONFIG_PATH), { folder });
        ASSERT_TRUE(m_program.waitForStarted(10000));
    }

    QString logPath() const { return m_state.path() + QStringLiteral("/CrashReport/vetu-config.crashlog"); }

    QByteArray xdotool(const QStringList &arguments)
    {
        return RunXdotool(m_display, arguments);
    }

    QStringList visibleWindows(const QString &pattern)
    {
        const QByteArray found = xdotool(
            { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern });
        QStringList ids;
        for (const QByteArray &id : found.trimmed().split('\n'))
            if (!id.isEmpty())
                ids << QString::fromLatin1(id);
        return ids;
    }

    QString windowName(const QString &id)
    {
        return QString::fromUtf8(xdotool({ QStringLiteral("getwindowname"), id }).trimmed());
    }

    void pressKeys(const QString &window, const QStringList &keys)
    {
        xdotool(QStringList { QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"),
                    QStringLiteral("--clearmodifiers") }
            + keys);
    }

    // Runs step every 200 ms until done() holds, the program ended or timeoutMs passed.
    bool waitUntil(const std::function<bool()> &done, const std::function<void()> &step, int timeoutMs = 120000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (done())
                return true;
            if (m_program.state() == QProcess::NotRunning)
                return done();
            step();
            QThread::msleep(200);
        }
        return done();
    }

    QTemporaryDir m_state;
    QString m_display;
    QProcess m_server;
    QProcess m_program;
};

} // namespace

// The settings file is a folder: the language chosen at the first start cannot be stored.
TEST_F(CrashReportProcessTest, RefusedWriteIsReportedInTheLogAndTheProgramGoesOn)
{
    TempDeviceFolder device;
    device.writeFile(QStringLiteral("Vetu-Configuration.txt"),
        TempDeviceFolder::crlf({ "[Settings]", "Mode of Measurement=2", "Buzzer=1" }));
    ASSERT_TRUE(QDir(device.path()).mkdir(QStringLiteral("Configuration.ini")));
    startProgram(device.path());

    // The language question, then whatever the report shows, answered until the main window
    // is there and the report is in the log.
    const bool reached = waitUntil(
        [&] { return !visibleWindows(MainWindowTitle).isEmpty() && QFile::exists(logPath()); },
        [&] {
            for (const QString &id : visibleWindows(QStringLiteral("."))) {
                const QString name = windowName(id);
                if (name.startsWith(QStringLiteral("Language / Sprache")))
                    pressKeys(id, { QStringLiteral("Return") });
                else if (!name.isEmpty() && name != QStringLiteral("Application Software for Vetu"))
                    pressKeys(id, { QStringLiteral("Escape") });
            }
        });
    QFile errFile(m_state.path() + QStringLiteral("/program.err"));
    const QByteArray err = errFile.open(QIODevice::ReadOnly) ? errFile.read(4000) : QByteArray();
    ASSERT_TRUE(reached) << "main window or log missing; program "
                         << (m_program.state() == QProcess::NotRunning ? "ended" : "runs") << "\n"
                         << err.toStdString();

    const crashreport::TLogFile log(QFile::encodeName(logPath()).toStdString(), true);
    ASSERT_EQ(log.count(), 1u) << log.text();
    const std::string message = log.item("2.6", 0).value_or("");
    EXPECT_EQ(message.rfind("Unable to write to ", 0), 0u) << message;
    EXPECT_NE(message.find("Configuration.ini"), std::string::npos) << message;

    // Still running, with its window, and answering: the window takes a key and the program
    // goes on, and the device file was left as it was.
    EXPECT_EQ(m_program.state(), QProcess::Running);
    const QStringList windows = visibleWindows(MainWindowTitle);
    ASSERT_EQ(windows.size(), 1);
    pressKeys(windows.first(), { QStringLiteral("Tab") });
    QThread::msleep(500);
    EXPECT_EQ(m_program.state(), QProcess::Running);
    EXPECT_EQ(visibleWindows(MainWindowTitle).size(), 1);
    EXPECT_EQ(device.readFile(QStringLiteral("Vetu-Configuration.txt")),
        TempDeviceFolder::crlf({ "[Settings]", "Mode of Measurement=2", "Buzzer=1" }));
}
