#include "RemoveInfectedFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString Contact = QStringLiteral(" could not be removed\r\nPlease contact Fennik service");

QString NotRemoved(const QString &name)
{
    return QStringLiteral("Infected File ") + name + Contact;
}

class RecordingMessages : public vetu::CleanupMessages {
public:
    void show(const QString &text) override { texts.push_back(text); }
    std::vector<QString> texts;
};

constexpr uid_t NobodyId = 65534;

int ChownToNobody(const char *path, const struct stat *, int, struct FTW *)
{
    (void)::lchown(path, NobodyId, NobodyId);
    return 0;
}

// A test base folder holding the device folder "device" and a folder "outside" that stands
// for everything the clean-up must never touch.
class CleanupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_base.isValid());
        ASSERT_TRUE(QDir(m_base.path()).mkpath(QStringLiteral("device")));
        ASSERT_TRUE(QDir(m_base.path()).mkpath(QStringLiteral("outside")));
    }

    QString device(const QString &name = QString()) const { return m_base.path() + "/device/" + name; }
    QString outside(const QString &name = QString()) const { return m_base.path() + "/outside/" + name; }

    static void WriteFile(const QString &path, const QByteArray &bytes = "x", mode_t mode = 0644)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
        file.close();
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    }
    static void MakeFolder(const QString &path, mode_t mode = 0755)
    {
        ASSERT_TRUE(QDir().mkpath(path));
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    }
    static void MakeLink(const QString &target, const QString &link)
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
    }
    static bool Exists(const QString &path)
    {
        struct stat info {};
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
    }
    static mode_t Mode(const QString &path)
    {
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            return 0;
        return info.st_mode & 07777;
    }
    static QStringList Entries(const QString &folder)
    {
        QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }

    // Runs the clean-up with the rights of an ordinary user, so that file modes are obeyed: as
    // root, the tree is handed to "nobody" and the clean-up runs in a child that has become it.
    std::vector<QString> RunCleanup()
    {
        const QString folder = device();
        if (::geteuid() != 0) {
            RecordingMessages messages;
            vetu::RemoveInfectedFiles(folder, messages);
            return messages.texts;
        }
        const QByteArray base = QFile::encodeName(m_base.path());
        ::nftw(base.constData(), &ChownToNobody, 16, FTW_PHYS);
        int fds[2];
        if (::pipe(fds) != 0) {
            ADD_FAILURE() << "pipe";
            return {};
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            if (::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0)
                ::_exit(3);
            RecordingMessages messages;
            vetu::RemoveInfectedFiles(folder, messages);
            for (const QString &text : messages.texts) {
                const QByteArray bytes = text.toUtf8();
                if (::write(fds[1], bytes.constData(), bytes.size() + 1) != bytes.size() + 1)
                    ::_exit(4);
            }
            ::_exit(0);
        }
        ::close(fds[1]);
        QByteArray received;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
            received.append(buffer, n);
        ::close(fds[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "clean-up child failed";
        std::vector<QString> texts;
        for (const QByteArray &part : received.split('\0')) {
            if (!part.isEmpty())
                texts.push_back(QString::fromUtf8(part));
        }
        return texts;
    }

    QTemporaryDir m_base;
};

TEST_F(CleanupTest, NothingPresentShowsNothingAndChangesNothing)
{
    WriteFile(device("Configuration.ini"), "[Settings]\r\n");
    WriteFile(device("Vetu-Configuration.txt"), "a=1\r\n");
    MakeFolder(device("Data"));
    WriteFile(device("Recycled.txt"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_EQ(Entries(device()),
              QStringList({"Configuration.ini", "Data", "Recycled.txt", "Vetu-Configuration.txt"}));
}

TEST_F(CleanupTest, RemovesReadOnlyAndUnreadableFilesSilently)
{
    WriteFile(device("autorun.inf"), "[autorun]\r\n", 0444);
    WriteFile(device("NETSVCS.EXE"), "MZ", 0000);
    WriteFile(device("MicrosoftPowerPoint.exe"), "MZ", 0400);
    WriteFile(device("Configuration.ini"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_EQ(Entries(device()), QStringList({"Configuration.ini"}));
}

TEST_F(CleanupTest, MatchesNamesInAnyLetterCase)
{
    WriteFile(device("Autorun.Inf"), "x", 0444);
    WriteFile(device("AUTORUN.INF"));
    WriteFile(device("netsvcs.exe"));
    WriteFile(device("MICROSOFTPOWERPOINT.EXE"));
    MakeFolder(device("RECYCLED"));
    WriteFile(device("RECYCLED/INFO2"));
    WriteFile(device("autorun.inf.bak"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_EQ(Entries(device()), QStringList({"autorun.inf.bak"}));
}

TEST_F(CleanupTest, FolderNamedLikeAFileIsNotTouched)
{
    MakeFolder(device("autorun.inf"), 0555);
    WriteFile(device("autorun.inf/open.exe"));
    MakeFolder(device("NETSVCS.EXE"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_TRUE(Exists(device("autorun.inf/open.exe")));
    EXPECT_EQ(Mode(device("autorun.inf")), mode_t(0555));
    EXPECT_TRUE(Exists(device("NETSVCS.EXE")));
}

TEST_F(CleanupTest, RecycledWithSubFolderLosesItsFilesAndStays)
{
    MakeFolder(device("Recycled"));
    WriteFile(device("Recycled/INFO2"), "x", 0444);
    WriteFile(device("Recycled/desktop.ini"));
    MakeFolder(device("Recycled/S-1-5-21"));
    WriteFile(device("Recycled/S-1-5-21/Dc1.exe"));
    EXPECT_EQ(RunCleanup(), std::vector<QString>({NotRemoved("S-1-5-21")}));
    EXPECT_EQ(Entries(device("Recycled")), QStringList({"S-1-5-21"}));
    EXPECT_TRUE(Exists(device("Recycled/S-1-5-21/Dc1.exe")));
}

TEST_F(CleanupTest, EmptyRecycledIsRemovedSilently)
{
    MakeFolder(device("Recycled"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_FALSE(Exists(device("Recycled")));
}

TEST_F(CleanupTest, ReadOnlyRecycledIsEmptiedAndRemoved)
{
    MakeFolder(device("Recycled"));
    WriteFile(device("Recycled/a.exe"), "x", 0444);
    WriteFile(device("Recycled/.hidden"));
    ASSERT_EQ(::chmod(QFile::encodeName(device("Recycled")).constData(), 0555), 0);
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_FALSE(Exists(device("Recycled")));
}

TEST_F(CleanupTest, LinkNamedRecycledIsRemovedAsALinkOnly)
{
    MakeFolder(outside("keep"));
    WriteFile(outside("keep/a.txt"), "a", 0444);
    WriteFile(outside("keep/b.txt"), "b");
    ASSERT_EQ(::chmod(QFile::encodeName(outside("keep")).constData(), 0555), 0);
    MakeLink(outside("keep"), device("Recycled"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_FALSE(Exists(device("Recycled")));
    EXPECT_EQ(Entries(outside("keep")), QStringList({"a.txt", "b.txt"}));
    EXPECT_EQ(Mode(outside("keep")), mode_t(0555));
    EXPECT_EQ(Mode(outside("keep/a.txt")), mode_t(0444));
}

TEST_F(CleanupTest, LinkNamedLikeAFileIsRemovedAndItsTargetKept)
{
    WriteFile(outside("system.ini"), "keep me", 0444);
    MakeFolder(outside("folder"), 0555);
    MakeLink(outside("system.ini"), device("AUTORUN.INF"));
    MakeLink(outside("folder"), device("NETSVCS.EXE"));
    MakeLink(outside("missing"), device("MicrosoftPowerPoint.exe"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_TRUE(Entries(device()).isEmpty());
    ASSERT_TRUE(Exists(outside("system.ini")));
    EXPECT_EQ(Mode(outside("system.ini")), mode_t(0444));
    QFile target(outside("system.ini"));
    ASSERT_TRUE(target.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.readAll(), QByteArray("keep me"));
    EXPECT_EQ(Mode(outside("folder")), mode_t(0555));
}

TEST_F(CleanupTest, LinksInsideRecycledAreRemovedNotFollowed)
{
    WriteFile(outside("data.txt"), "data", 0444);
    MakeFolder(outside("dir"), 0555);
    WriteFile(outside("dir/inner.txt"));
    MakeFolder(device("Recycled"));
    MakeLink(outside("data.txt"), device("Recycled/file-link"));
    MakeLink(outside("dir"), device("Recycled/dir-link"));
    EXPECT_TRUE(RunCleanup().empty());
    EXPECT_FALSE(Exists(device("Recycled")));
    EXPECT_EQ(Mode(outside("data.txt")), mode_t(0444));
    EXPECT_EQ(Mode(outside("dir")), mode_t(0555));
    EXPECT_TRUE(Exists(outside("dir/inner.txt")));
}

TEST_F(CleanupTest, FilesThatCannotBeRemovedAreReportedInTableOrder)
{
    // Created in reverse order so that the listing order does not give the table order.
    WriteFile(device("autorun.inf"));
    WriteFile(device("netsvcs.exe"));
    WriteFile(device("MicrosoftPowerPoint.exe"));
    MakeFolder(device("Recycled"));
    WriteFile(device("Recycled/x.exe"));
    ASSERT_EQ(::chmod(QFile::encodeName(device()).constData(), 0555), 0);
    const std::vector<QString> expected = {
        NotRemoved("MicrosoftPowerPoint.exe"),
        NotRemoved("NETSVCS.EXE"),
        NotRemoved("autorun.inf"),
    };
    EXPECT_EQ(RunCleanup(), expected);
    // The entries of Recycled could be removed; the folder itself could not and stays silently.
    EXPECT_TRUE(Exists(device("Recycled")));
    EXPECT_TRUE(Entries(device("Recycled")).isEmpty());
    EXPECT_TRUE(Exists(device("autorun.inf")));
    ASSERT_EQ(::chmod(QFile::encodeName(device()).constData(), 0755), 0);
}

TEST_F(CleanupTest, MissingProgramFolderShowsNothing)
{
    RecordingMessages messages;
    vetu::RemoveInfectedFiles(device("does-not-exist/"), messages);
    EXPECT_TRUE(messages.texts.empty());
}

} // namespace
