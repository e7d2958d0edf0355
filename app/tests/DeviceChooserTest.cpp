// The device folder chooser of --choose-device, driven through Qt's real folder dialog by keys.
#include "DeviceChooser.h"
#include "RemovableMedia.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>

namespace
{

struct MediaCase {
    const char *name;
    std::vector<const char *> folders; // made under the temporary root
    const char *user;
    const char *expected; // relative to the root; "HOME" for the home folder
};

class RemovableMediaTest : public ::testing::TestWithParam<MediaCase>
{
};

TEST_P(RemovableMediaTest, PicksTheDesktopsMountFolder)
{
    const MediaCase &c = GetParam();
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    for (const char *folder : c.folders)
        ASSERT_TRUE(QDir(root.path()).mkpath(QLatin1String(folder)));
    const QString home = root.path() + QStringLiteral("/home/ann");
    const QString expected = QLatin1String(c.expected) == QLatin1String("HOME")
        ? home
        : root.path() + QLatin1Char('/') + QLatin1String(c.expected);
    EXPECT_EQ(vetu::RemovableMediaFolder(root.path(), QLatin1String(c.user), home), expected);
}

INSTANTIATE_TEST_SUITE_P(Folders, RemovableMediaTest,
    ::testing::Values(MediaCase { "media", { "media/ann", "run/media/ann" }, "ann", "media/ann" },
        MediaCase { "runMedia", { "media", "run/media/ann" }, "ann", "run/media/ann" },
        MediaCase { "otherUsersOnly", { "media/bob", "run/media/bob" }, "ann", "HOME" },
        MediaCase { "nothing", {}, "ann", "HOME" },
        // A name that is no plain account name never leads out of the media folders.
        MediaCase { "noUser", { "media" }, "", "HOME" },
        MediaCase { "pathInName", { "media/x/y" }, "x/y", "HOME" }),
    [](const ::testing::TestParamInfo<MediaCase> &info) { return std::string(info.param.name); });

// Drives the folder dialog that the code under test opens: once it is shown, calls act with it.
class DialogDriver
{
public:
    explicit DialogDriver(std::function<void(QFileDialog &)> act)
        : m_act(std::move(act))
    {
        poll();
    }

    bool acted() const { return m_acted; }
    QString openedAt() const { return m_openedAt; }
    bool foldersOnly() const { return m_foldersOnly; }

private:
    void poll()
    {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (++m_polls < 500)
                QTimer::singleShot(10, &m_context, [this] { poll(); });
            return;
        }
        m_openedAt = dialog->directory().absolutePath();
        m_foldersOnly
            = dialog->fileMode() == QFileDialog::Directory && dialog->testOption(QFileDialog::ShowDirsOnly);
        m_acted = true;
        m_act(*dialog);
    }

    std::function<void(QFileDialog &)> m_act;
    QObject m_context; // ends the polling when the driver goes
    int m_polls = 0;
    bool m_acted = false;
    bool m_foldersOnly = false;
    QString m_openedAt;
};

// Types the folder into the dialog's name field and presses Enter; a completion list that the
// typing opened takes the first Enter, so Enter is pressed until the dialog has closed.
void TypeFolderAndEnter(QFileDialog &dialog, const QString &folder)
{
    auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    // The dialog follows its list's selection into the name field unless the user is typing
    // there, which it knows from the field's focus: the window must be active for that.
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([edit] { return edit->hasFocus(); }));
    edit->selectAll();
    // One key at a time, as a user types: the dialog's completion and selection follow the text
    // through queued events, which typing in one burst would outrun.
    for (const QChar character : folder) {
        QTest::keyClicks(edit, QString(character));
        QTest::qWait(5);
    }
    for (int i = 0; i < 3 && dialog.isVisible(); ++i) {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : edit;
        QTest::keyClick(target, Qt::Key_Return);
    }
}

class DeviceChooserTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_root.isValid());
        ASSERT_TRUE(QDir(m_root.path()).mkpath(QStringLiteral("VETU")));
    }

    QString root() const { return m_root.path(); }
    QString device() const { return m_root.path() + QStringLiteral("/VETU"); }

private:
    QTemporaryDir m_root;
};

TEST_F(DeviceChooserTest, TypedFolderIsChosen)
{
    DialogDriver driver([this](QFileDialog &dialog) { TypeFolderAndEnter(dialog, device()); });
    const std::optional<QString> chosen = vetu::ChooseDeviceFolder(root());
    EXPECT_TRUE(driver.acted());
    EXPECT_EQ(driver.openedAt(), root());
    EXPECT_TRUE(driver.foldersOnly());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(QDir(*chosen).absolutePath(), device());
}

TEST_F(DeviceChooserTest, EscapeCancels)
{
    DialogDriver driver([](QFileDialog &dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_FALSE(vetu::ChooseDeviceFolder(root()).has_value());
    EXPECT_TRUE(driver.acted());
}

TEST_F(DeviceChooserTest, WithoutTheOptionNothingIsAsked)
{
    QStringList arguments { QStringLiteral("vetu-config"), device() };
    DialogDriver driver([](QFileDialog &dialog) { dialog.reject(); });
    EXPECT_TRUE(vetu::TakeDeviceChoice(arguments));
    EXPECT_EQ(arguments, QStringList({ QStringLiteral("vetu-config"), device() }));
    EXPECT_FALSE(driver.acted());
}

TEST_F(DeviceChooserTest, ChosenFolderBecomesTheArgument)
{
    QStringList arguments { QStringLiteral("vetu-config"), QLatin1String(vetu::ChooseDeviceOption) };
    DialogDriver driver([this](QFileDialog &dialog) { TypeFolderAndEnter(dialog, device()); });
    ASSERT_TRUE(vetu::TakeDeviceChoice(arguments));
    EXPECT_TRUE(driver.acted());
    EXPECT_EQ(driver.openedAt(), QDir(vetu::UserRemovableMediaFolder()).absolutePath());
    ASSERT_EQ(arguments.size(), 2);
    EXPECT_EQ(arguments.at(0), QStringLiteral("vetu-config"));
    EXPECT_EQ(QDir(arguments.at(1)).absolutePath(), device());
}

TEST_F(DeviceChooserTest, CancelEndsTheStart)
{
    QStringList arguments { QStringLiteral("vetu-config"), QLatin1String(vetu::ChooseDeviceOption) };
    DialogDriver driver([](QFileDialog &dialog) { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_FALSE(vetu::TakeDeviceChoice(arguments));
    EXPECT_TRUE(driver.acted());
}

} // namespace
