// The Help menu: the help file of the language, and the Info dialog.
#include "MainFormFixture.h"

#include "FakeDesktopTools.h"
#include "HelpOpener.h"
#include "InfoForm.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace
{

class RecordingHelpOpener : public vetu::HelpOpener
{
public:
    bool hasViewer(const QString &) override { return true; }
    void open(const QString &path, const QString &) override { paths.append(path); }
    QStringList paths;
};

// Closes the Info dialog with its OK button when it appears, noting what it showed.
class InfoDialogAnswerer : public QObject
{
public:
    InfoDialogAnswerer()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &InfoDialogAnswerer::poll);
        m_timer.start();
    }
    struct Seen {
        QString title;
        QString name;
        QString version;
        const QWidget *owner = nullptr;
    };
    QList<Seen> seen;

private:
    void poll()
    {
        auto *dialog = qobject_cast<TInfoForm *>(QApplication::activeModalWidget());
        // OK hides the dialog at once, so a visible one has not been answered yet.
        if (!dialog || !dialog->isVisible())
            return;
        seen.append({ dialog->windowTitle(), dialog->Label1->text(), dialog->Label2->text(), dialog->parentWidget() });
        QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    }
    QTimer m_timer;
};

struct LanguageCase {
    const char *name;
    int offset;
    const char *helpFile;
    const char *programName;
};

void PrintTo(const LanguageCase &c, std::ostream *os)
{
    *os << c.name;
}

class HelpTest : public MainFormTest, public ::testing::WithParamInterface<LanguageCase>
{
protected:
    void startInLanguage(int offset)
    {
        startOnVelocityPage(
            TempDeviceFolder::crlf({ "[Settings]", QStringLiteral("LanguageOffset=%1").arg(offset) }));
        form->setHelpOpener(&opener);
    }

    // Opens the Help menu in the menu bar and clicks one of its items, as the user does.
    void chooseFromHelpMenu(QAction *item)
    {
        QMenuBar *bar = form->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(form->Help1->menuAction()).center());
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->Help1->isVisible(); }, 2000));
        QTest::mouseClick(form->Help1, Qt::LeftButton, Qt::NoModifier, form->Help1->actionGeometry(item).center());
    }

    RecordingHelpOpener opener;
};

} // namespace

TEST_P(HelpTest, OnlineHelpOpensTheHelpFileOfTheLanguage)
{
    const LanguageCase &c = GetParam();
    for (const char *file : { "Vetu_de.chm", "Vetu_en.chm", "Vetu_fr.chm", "Vetu_es.chm" })
        device.writeFile(QLatin1String(file), "help");
    startInLanguage(c.offset);

    chooseFromHelpMenu(form->OnlineHelpMenuItem);

    EXPECT_EQ(opener.paths, QStringList { device.filePath(QLatin1String(c.helpFile)) });
    EXPECT_TRUE(boxes.seen().isEmpty());
}

TEST_P(HelpTest, InfoShowsTheProgramNameOfTheLanguageAndTheVersion)
{
    const LanguageCase &c = GetParam();
    startInLanguage(c.offset);
    InfoDialogAnswerer info;

    chooseFromHelpMenu(form->InfoMenuItem);
    chooseFromHelpMenu(form->InfoMenuItem);

    ASSERT_EQ(info.seen.size(), 2) << "each choice opens a fresh dialog, closed by OK";
    for (const InfoDialogAnswerer::Seen &seen : info.seen) {
        EXPECT_EQ(seen.title, QStringLiteral("Info"));
        EXPECT_EQ(seen.name, QString::fromUtf8(c.programName));
        EXPECT_EQ(seen.version, QStringLiteral("Version 1.04.1"));
        EXPECT_EQ(seen.owner, form.get());
    }
    EXPECT_TRUE(form->findChildren<TInfoForm *>().isEmpty()) << "the dialog is released after closing";
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(boxes.seen().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Languages, HelpTest,
    ::testing::Values(LanguageCase { "German", 0, "Vetu_de.chm", "Bediensoftware Vetu" },
        LanguageCase { "English", 10000, "Vetu_en.chm", "Application Software for Vetu" },
        LanguageCase { "French", 20000, "Vetu_fr.chm", "Logiciel de param\u00e9trage Vetu" },
        LanguageCase { "Spanish", 30000, "Vetu_es.chm", "Programa de operaci\u00f3n Vetu" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(HelpTest, WithoutHelpFilesBesideTheProgramItSaysNothingOfItsOwn)
{
    startInLanguage(20000);

    chooseFromHelpMenu(form->OnlineHelpMenuItem);

    // The compiled help is missing: the HTML edition shipped with the program is opened.
    ASSERT_EQ(opener.paths.size(), 1);
    EXPECT_TRUE(opener.paths[0].endsWith(QStringLiteral("/Vetu_fr.html"))) << opener.paths[0].toStdString();
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_TRUE(form->isVisible());
}

// The window's own opener asks the desktop: a drive's compiled help without a viewer for it
// gives the HTML help of the language.
TEST_F(HelpTest, OnlineHelpAsksTheDesktopTools)
{
    FakeDesktopTools tools;
    ASSERT_TRUE(tools.valid());
    device.writeFile(QStringLiteral("Vetu_es.chm"), "help");
    startInLanguage(30000);
    form->setHelpOpener(nullptr);

    chooseFromHelpMenu(form->OnlineHelpMenuItem);

    ASSERT_TRUE(tools.waitForOpened(1));
    EXPECT_EQ(tools.queried(), QStringList { QStringLiteral("query default application/vnd.ms-htmlhelp") });
    ASSERT_EQ(tools.opened().size(), 1);
    EXPECT_TRUE(tools.opened()[0].endsWith(QStringLiteral("/Vetu_es.html"))) << tools.opened()[0].toStdString();
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_TRUE(form->isVisible());
}
