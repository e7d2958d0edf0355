// The desktop opener against stand-ins of xdg-mime and xdg-open on PATH.
#include "FakeDesktopTools.h"
#include "HelpOpener.h"
#include "OnlineHelp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct OpenCase {
    const char *name;
    QByteArray viewer;      // what xdg-mime names; empty: no viewer
    bool xdgMime;           // false: there is no xdg-mime at all
    bool compiledHelp;      // "Vetu_fr.chm" lies in the device folder
    QList<QByteArray> fails; // xdg-open fails for arguments ending so
    QStringList opened;     // "chm" and "html" for the two files, in the order asked
    bool queried;           // xdg-mime was asked for the viewer of the compiled help
};

void PrintTo(const OpenCase &c, std::ostream *os)
{
    *os << c.name;
}

class DesktopHelpOpenerTest : public ::testing::TestWithParam<OpenCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_base.isValid());
        ASSERT_TRUE(tools.valid());
        ASSERT_TRUE(QDir(m_base.path()).mkpath(QStringLiteral("device")));
        ASSERT_TRUE(QDir(m_base.path()).mkpath(QStringLiteral("installed")));
        touch(html());
    }
    QString device() const { return m_base.path() + QStringLiteral("/device/"); }
    QString installed() const { return m_base.path() + QStringLiteral("/installed"); }
    QString chm() const { return device() + QStringLiteral("Vetu_fr.chm"); }
    QString html() const { return installed() + QStringLiteral("/Vetu_fr.html"); }
    static void touch(const QString &path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir m_base;
    FakeDesktopTools tools;
};

} // namespace

TEST_P(DesktopHelpOpenerTest, OpensWhatTheDesktopCanShow)
{
    const OpenCase &c = GetParam();
    if (c.compiledHelp)
        touch(chm());
    if (!c.viewer.isEmpty())
        tools.setViewer(c.viewer);
    if (!c.xdgMime)
        tools.removeXdgMime();
    for (const QByteArray &suffix : c.fails)
        tools.failOpeningOf(suffix);

    vetu::DesktopHelpOpener desktop;
    vetu::OpenOnlineHelp(device(), 20000, desktop, {installed()});

    QStringList expected;
    for (const QString &which : c.opened)
        expected.append(which == QStringLiteral("chm") ? chm() : html());
    EXPECT_TRUE(tools.waitForOpened(int(expected.size())));
    // Room for a further call that must not come.
    QTest::qWait(300);
    EXPECT_EQ(tools.opened(), expected);
    EXPECT_EQ(tools.queried(),
              c.queried && c.xdgMime ? QStringList{QStringLiteral("query default application/vnd.ms-htmlhelp")}
                                     : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, DesktopHelpOpenerTest,
    ::testing::Values(
        OpenCase{"ViewerRegistered", "viewer.desktop", true, true, {}, {"chm"}, true},
        OpenCase{"NoViewerRegistered", "", true, true, {}, {"html"}, true},
        OpenCase{"NoXdgMime", "", false, true, {}, {"html"}, true},
        OpenCase{"ViewerFailsSoTheHtmlHelpOpens", "viewer.desktop", true, true, {".chm"}, {"chm", "html"}, true},
        OpenCase{"EverythingFailsAndNothingMoreIsTried", "viewer.desktop", true, true, {""}, {"chm", "html"}, true},
        OpenCase{"HtmlOpenFailsWithoutFallback", "", true, true, {""}, {"html"}, true},
        OpenCase{"NoCompiledHelpAsksNothing", "viewer.desktop", true, false, {}, {"html"}, false}),
    [](const auto &info) { return std::string(info.param.name); });

// Without xdg-open on PATH the program goes on; nothing is shown and nothing hangs.
TEST(DesktopHelpOpenerWithoutTools, MissingXdgOpenIsNoError)
{
    const QByteArray oldPath = qgetenv("PATH");
    QTemporaryDir empty;
    qputenv("PATH", QFile::encodeName(empty.path()));
    vetu::DesktopHelpOpener desktop;
    EXPECT_FALSE(desktop.hasViewer(QStringLiteral("/nowhere/Vetu_de.chm")));
    desktop.open(QStringLiteral("/nowhere/Vetu_de.chm"), QStringLiteral("/nowhere/Vetu_de.html"));
    QTest::qWait(100);
    qputenv("PATH", oldPath);
}
