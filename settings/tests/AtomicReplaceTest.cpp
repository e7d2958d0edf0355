// The replace of a whole file: a write that fails for any reason leaves the old file as it
// was and no temporary file behind, and a program killed in the middle of a save never
// leaves a truncated file.
#include "AtomicFileWriter.h"
#include "DeviceFiles.h"
#include "EquationSet.h"
#include "FileSizeLimit.h"
#include "GeneralSettings.h"
#include "IniFile.h"
#include "SettingsTestFolder.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QRandomGenerator>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vetu;

namespace {

// Runs body in a child process with the rights of an ordinary user when the tests run as
// root (permission bits do not stop root), else in a child with our own rights.
// Returns the child's exit code, or -1 when it did not exit normally.
int runAsOrdinaryUser(const std::function<int()> &body)
{
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(100);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Gives path to the ordinary user that runAsOrdinaryUser becomes (when the tests run as root;
// otherwise it is ours already) and sets its mode, so that the mode alone decides what that
// user may do with it.
void handToOrdinaryUser(const QString &path, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    if (geteuid() == 0) {
        EXPECT_EQ(lchown(native.constData(), 65534, 65534), 0) << native.constData();
    }
    EXPECT_EQ(chmod(native.constData(), mode), 0) << native.constData();
}

// 0 when action throws IniWriteError naming path, 1 when it does not throw, 2 for another message.
int expectWriteError(const QString &path, const std::function<void()> &action)
{
    try {
        action();
    } catch (const IniWriteError &e) {
        return QString::fromUtf8(e.what()) == "Unable to write to " + QFileInfo(path).absoluteFilePath() ? 0 : 2;
    }
    return 1;
}

QByteArray largeValue()
{
    return QByteArray(64 * 1024, 'x');
}

} // namespace

TEST(AtomicReplace, RefusedWritesLeaveTheFileAsItWas)
{
    // How a case is refused: by the file system as it is, by a drive that stops taking bytes,
    // or by permission bits, which only an ordinary user obeys. Each case gets only its own
    // reason for the refusal, so that losing the guard under test makes it fail.
    enum class Refusal { AsItIs, FullDrive, Permissions };
    struct Case {
        const char *what;
        // Prepares the folder; returns the path to write to.
        std::function<QString(SettingsTestFolder &)> setUp;
        Refusal refusal;
    };
    const Case cases[] = {
        {"the folder is missing",
                [](SettingsTestFolder &f) { return f.filePath("gone/f.ini"); }, Refusal::AsItIs},
        {"the folder refuses new files even for root",
                [](SettingsTestFolder &) { return QStringLiteral("/proc/vetu-settings-test.ini"); },
                Refusal::AsItIs},
        {"the path is a folder",
                [](SettingsTestFolder &f) {
                    QDir(f.path()).mkdir("f.ini");
                    return f.filePath("f.ini");
                },
                Refusal::AsItIs},
        {"the drive refuses the write mid-way",
                [](SettingsTestFolder &f) {
                    f.write("f.ini", "[S]\r\nk=old\r\n");
                    return f.filePath("f.ini");
                },
                Refusal::FullDrive},
        {"a write-protected folder holding a file the user may write",
                [](SettingsTestFolder &f) {
                    QDir(f.path()).mkdir("ro");
                    f.write("ro/f.ini", "[S]\r\nk=old\r\n");
                    handToOrdinaryUser(f.path(), 0755);
                    handToOrdinaryUser(f.filePath("ro/f.ini"), 0644);
                    handToOrdinaryUser(f.filePath("ro"), 0555);
                    return f.filePath("ro/f.ini");
                },
                Refusal::Permissions},
        {"the user's own write-protected file in the user's own folder",
                [](SettingsTestFolder &f) {
                    f.write("f.ini", "[S]\r\nk=old\r\n");
                    handToOrdinaryUser(f.path(), 0755);
                    handToOrdinaryUser(f.filePath("f.ini"), 0444);
                    return f.filePath("f.ini");
                },
                Refusal::Permissions},
        {"an unreadable file that the user may write is not replaced",
                [](SettingsTestFolder &f) {
                    f.write("f.ini", "[S]\r\nk=old\r\n");
                    handToOrdinaryUser(f.path(), 0755);
                    handToOrdinaryUser(f.filePath("f.ini"), 0200);
                    return f.filePath("f.ini");
                },
                Refusal::Permissions},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SettingsTestFolder folder;
        const QString path = c.setUp(folder);
        const QStringList entriesBefore = folder.entries();
        const bool hadFile = QFileInfo(path).isFile();
        QByteArray before;
        if (hadFile) {
            // Read past the case's own mode (an unreadable file), then put the mode back.
            const QByteArray native = QFile::encodeName(path);
            struct stat st {};
            ASSERT_EQ(stat(native.constData(), &st), 0);
            chmod(native.constData(), (st.st_mode & 07777) | S_IRUSR);
            QFile original(path);
            ASSERT_TRUE(original.open(QIODevice::ReadOnly));
            before = original.readAll();
            original.close();
            chmod(native.constData(), st.st_mode & 07777);
        }

        const auto attempt = [&] {
            IniFile ini(path);
            ini.writeString("S", "k", QString::fromLatin1(largeValue()));
        };
        int result;
        if (c.refusal == Refusal::Permissions) {
            result = runAsOrdinaryUser([&] { return expectWriteError(path, attempt); });
        } else if (c.refusal == Refusal::FullDrive) {
            FileSizeLimit limit(4096);
            result = expectWriteError(path, attempt);
        } else {
            result = expectWriteError(path, attempt);
        }
        EXPECT_EQ(result, 0);
        if (hadFile) {
            chmod(QFile::encodeName(path).constData(), 0644);
            QFile after(path);
            ASSERT_TRUE(after.open(QIODevice::ReadOnly));
            EXPECT_EQ(after.readAll(), before);
        }
        chmod(QFile::encodeName(folder.filePath("ro")).constData(), 0755);
        EXPECT_EQ(folder.entries(), entriesBefore);
        if (QFileInfo(path).isDir()) {
            EXPECT_TRUE(QDir(path).isEmpty());
        }
    }
}

TEST(AtomicReplace, FailedSavesWriteNoKeyAtAll)
{
    SettingsTestFolder folder;
    const QByteArray configurationBefore = "[Settings]\r\nLanguageOffset=0\r\n[07]\r\nName=Old\r\nFactor1=0.1\r\n";
    folder.write(ConfigurationIniName, configurationBefore);
    const QByteArray deviceBefore = "[Settings]\r\nBuzzer=1\r\n";
    folder.write(DeviceFileName, deviceBefore);
    IniFile configuration(folder.filePath(ConfigurationIniName));
    IniFile device(folder.filePath(DeviceFileName));

    // Fifteen keys whose last ones no longer fit: none of them may reach the file.
    EquationSet set;
    set.name = "New";
    set.factor[0] = "0.2";
    set.offset[3] = QString::fromLatin1(largeValue());
    GeneralSettingsSelection selection;
    selection.buzzer = 0;
    {
        FileSizeLimit limit(100);
        EXPECT_EQ(expectWriteError(configuration.path(), [&] { WriteEquationSet(configuration, 7, set); }), 0);
        EXPECT_EQ(expectWriteError(device.path(), [&] { WriteGeneralSettings(device, selection); }), 0);
    }
    EXPECT_EQ(folder.read(ConfigurationIniName), configurationBefore);
    EXPECT_EQ(folder.read(DeviceFileName), deviceBefore);
    EXPECT_EQ(folder.entries(), QStringList({ConfigurationIniName, DeviceFileName}));

    // The object is usable again afterwards: the batch was dropped.
    set.offset[3] = "1";
    WriteEquationSet(configuration, 7, set);
    EXPECT_EQ(ReadEquationSet(configuration, 7), set);
}

TEST(AtomicReplace, NormalFormRewriteThatFailsKeepsTheFile)
{
    SettingsTestFolder folder;
    QByteArray before = "[30]\r\nName=x\r\n\r\n[01]\r\nName=" + largeValue() + "\r\n";
    folder.write(ConfigurationIniName, before);
    {
        FileSizeLimit limit(4096);
        EXPECT_EQ(expectWriteError(folder.filePath(ConfigurationIniName),
                          [&] { NormalizeConfigurationIni(folder.path()); }),
                0);
    }
    EXPECT_EQ(folder.read(ConfigurationIniName), before);
    EXPECT_EQ(folder.entries(), QStringList{ConfigurationIniName});
}

TEST(AtomicReplace, KeepsPermissionsAndLinks)
{
    SettingsTestFolder folder;
    folder.write("real.ini", "[S]\r\nk=1\r\n");
    const QByteArray real = QFile::encodeName(folder.filePath("real.ini"));
    chmod(real.constData(), 0640);
    ASSERT_TRUE(QFile::link(folder.filePath("real.ini"), folder.filePath("link.ini")));

    IniFile ini(folder.filePath("link.ini"));
    ini.writeString("S", "k", "2");
    EXPECT_TRUE(QFileInfo(folder.filePath("link.ini")).isSymLink());
    EXPECT_EQ(folder.read("real.ini"), "[S]\r\nk=2\r\n");
    struct stat st {};
    ASSERT_EQ(stat(real.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A new file gets the permissions of the umask, like any file the program creates.
    const mode_t oldMask = umask(027);
    IniFile fresh(folder.filePath("new.ini"));
    fresh.writeString("S", "k", "1");
    umask(oldMask);
    ASSERT_EQ(stat(QFile::encodeName(folder.filePath("new.ini")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AtomicReplace, RemovesOnlyItsOwnLongForgottenTemporaries)
{
    SettingsTestFolder folder;
    const QDateTime old = QDateTime::currentDateTimeUtc().addSecs(-3600);
    const struct {
        const char *name;
        bool old;
        bool staysAfterASave;
    } entries[] = {
        {".f.ini.tmp-1a2b3c4d", true, false},
        {".f.ini.tmp-ffff", false, true},   // maybe a save running right now
        {".f.ini.tmp-zz", true, true},      // not a name we make
        {".f.ini.tmp-123456789", true, true},
        {".g.ini.tmp-1a2b", true, true},    // another file's
        {"f.ini.tmp-1a2b", true, true},
    };
    for (const auto &entry : entries) {
        folder.write(entry.name, "partial");
        if (entry.old) {
            QFile file(folder.filePath(entry.name));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
        }
    }
    IniFile ini(folder.filePath("f.ini"));
    ini.writeString("S", "k", "v");
    for (const auto &entry : entries)
        EXPECT_EQ(folder.exists(entry.name), entry.staysAfterASave) << entry.name;
}

TEST(AtomicReplace, ProgramKilledDuringSavesNeverLeavesATruncatedFile)
{
    SettingsTestFolder folder;
    const QString path = folder.filePath(ConfigurationIniName);
    // A large file makes each save take long enough to be hit in the middle.
    QByteArray padding;
    for (int i = 0; padding.size() < 2 * 1024 * 1024; ++i)
        padding += "[Pad" + QByteArray::number(i) + "]\r\nKey=" + QByteArray(200, 'p') + "\r\n";
    folder.write(ConfigurationIniName, padding);

    EquationSet a;
    a.name = "Version A";
    a.factor = {"1", "2", "3", "4"};
    EquationSet b = a;
    b.name = "Version B, a longer name";
    b.offset = {"0.5", "0.6", "0.7", "0.8"};
    IniFile ini(path);
    WriteEquationSet(ini, 1, a);
    const QByteArray bytesA = folder.read(ConfigurationIniName);
    WriteEquationSet(ini, 1, b);
    const QByteArray bytesB = folder.read(ConfigurationIniName);
    WriteEquationSet(ini, 1, a);
    ASSERT_EQ(folder.read(ConfigurationIniName), bytesA);

    QRandomGenerator random(2024);
    int leftTemporaries = 0;
    for (int round = 0; round < 25; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            IniFile writer(path);
            for (int i = 0;; ++i)
                WriteEquationSet(writer, 1, i % 2 ? a : b);
        }
        usleep(static_cast<useconds_t>(1000 + random.bounded(40000)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        const QByteArray now = folder.read(ConfigurationIniName);
        ASSERT_TRUE(now == bytesA || now == bytesB) << "round " << round << ": " << now.size() << " bytes";
        for (const QString &entry : folder.entries()) {
            if (entry != ConfigurationIniName) {
                ++leftTemporaries;
                QFile::remove(folder.filePath(entry));
            }
        }
    }
    // A kill between creating the new file and renaming it leaves that file behind; this is
    // a hint that the kills did hit saves in the middle, not a requirement.
    std::printf("kills that left a temporary file: %d of 25\n", leftTemporaries);
}
