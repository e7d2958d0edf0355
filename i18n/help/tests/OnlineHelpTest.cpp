#include "OnlineHelp.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class RecordingOpener : public vetu::HelpOpener {
public:
    explicit RecordingOpener(bool viewer = true) : viewer(viewer) {}
    bool hasViewer(const QString &path) override
    {
        asked.append(path);
        return viewer;
    }
    void open(const QString &path, const QString &fallback) override
    {
        opened.append(path);
        fallbacks.append(fallback);
    }
    bool viewer;
    QStringList asked;
    QStringList opened;
    QStringList fallbacks;
};

class OnlineHelpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_base.isValid());
        ASSERT_TRUE(QDir(m_base.path()).mkpath(QStringLiteral("device")));
        ASSERT_TRUE(QDir(m_base.path()).mkpath(QStringLiteral("installed")));
    }
    QString device() const { return m_base.path() + QStringLiteral("/device/"); }
    QString installed() const { return m_base.path() + QStringLiteral("/installed"); }
    static void Touch(const QString &path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir m_base;
};

TEST_F(OnlineHelpTest, OpensTheCompiledHelpFileOfTheLanguageWhenTheDesktopHasAViewer)
{
    const struct {
        int offset;
        const char *file;
    } cases[] = {
        {0, "Vetu_de.chm"},
        {10000, "Vetu_en.chm"},
        {20000, "Vetu_fr.chm"},
        {30000, "Vetu_es.chm"},
    };
    for (const auto &c : cases) {
        // Present or not, the compiled help file is what is asked for when no HTML help exists.
        const QString compiled = device() + QString::fromLatin1(c.file);
        RecordingOpener opener;
        vetu::OpenOnlineHelp(device(), c.offset, opener, {});
        EXPECT_EQ(opener.opened, QStringList{compiled}) << c.offset;
        EXPECT_EQ(opener.fallbacks, QStringList{QString()}) << c.offset;

        // With both, the compiled file is opened when the desktop has a viewer for it, and
        // the HTML help is what the desktop opens when that fails.
        Touch(compiled);
        const QString html = installed() + QLatin1Char('/') + QString::fromLatin1(c.file).replace(".chm", ".html");
        Touch(html);
        RecordingOpener withViewer;
        vetu::OpenOnlineHelp(device(), c.offset, withViewer, {installed()});
        EXPECT_EQ(withViewer.asked, QStringList{compiled}) << c.offset;
        EXPECT_EQ(withViewer.opened, QStringList{compiled}) << c.offset;
        EXPECT_EQ(withViewer.fallbacks, QStringList{html}) << c.offset;

        RecordingOpener withoutViewer(false);
        vetu::OpenOnlineHelp(device(), c.offset, withoutViewer, {installed()});
        EXPECT_EQ(withoutViewer.opened, QStringList{html}) << c.offset;
        EXPECT_EQ(withoutViewer.fallbacks, QStringList{QString()}) << c.offset;
    }
}

TEST_F(OnlineHelpTest, OtherOffsetsOpenTheGermanHelp)
{
    Touch(installed() + QStringLiteral("/Vetu_de.html"));
    for (int offset : {-1, 1, 5, 9999, 40000}) {
        EXPECT_EQ(vetu::HelpFileName(offset), QStringLiteral("Vetu_de.chm")) << offset;
        RecordingOpener opener;
        vetu::OpenOnlineHelp(device(), offset, opener, {installed()});
        EXPECT_EQ(opener.opened, QStringList{installed() + QStringLiteral("/Vetu_de.html")}) << offset;
    }
}

TEST_F(OnlineHelpTest, FallsBackToTheHtmlHelpWhenTheCompiledFileIsMissing)
{
    Touch(installed() + QStringLiteral("/Vetu_fr.html"));
    Touch(installed() + QStringLiteral("/Vetu_en.html"));
    Touch(device() + QStringLiteral("Vetu_en.html"));
    QDir(device()).mkdir(QStringLiteral("Vetu_es.chm")); // a folder is no help file
    Touch(installed() + QStringLiteral("/Vetu_es.html"));

    const struct {
        int offset;
        QString expected;
    } cases[] = {
        {20000, installed() + QStringLiteral("/Vetu_fr.html")},
        {10000, device() + QStringLiteral("Vetu_en.html")},
        {30000, installed() + QStringLiteral("/Vetu_es.html")},
        {0, device() + QStringLiteral("Vetu_de.chm")},
    };
    for (const auto &c : cases) {
        RecordingOpener opener;
        vetu::OpenOnlineHelp(device(), c.offset, opener, {m_base.path() + QStringLiteral("/none"), installed()});
        EXPECT_EQ(opener.opened, QStringList{c.expected}) << c.offset;
        EXPECT_TRUE(opener.asked.isEmpty()) << "no compiled file, no question to the desktop";
    }
}

TEST_F(OnlineHelpTest, ShippedHtmlHelpIsFoundForEveryLanguage)
{
    const QStringList folders = vetu::InstalledHelpFolders();
    ASSERT_GE(folders.size(), 2);
    EXPECT_EQ(folders[0], QCoreApplication::applicationDirPath() + QStringLiteral("/help"));
    const struct {
        int offset;
        const char *file;
        const char *language;
    } cases[] = {
        {0, "Vetu_de.html", "lang=\"de\""},
        {10000, "Vetu_en.html", "lang=\"en\""},
        {20000, "Vetu_fr.html", "lang=\"fr\""},
        {30000, "Vetu_es.html", "lang=\"es\""},
    };
    for (const auto &c : cases) {
        RecordingOpener opener;
        vetu::OpenOnlineHelp(device(), c.offset, opener);
        ASSERT_EQ(opener.opened.size(), 1) << c.offset;
        EXPECT_TRUE(opener.opened[0].endsWith(QLatin1Char('/') + QLatin1String(c.file))) << c.offset;
        QFile page(opener.opened[0]);
        ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << opener.opened[0].toStdString();
        EXPECT_TRUE(page.readAll().contains(c.language)) << c.file;
    }
}

} // namespace
