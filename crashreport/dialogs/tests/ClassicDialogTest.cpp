// The classic dialog as a real window.
#include "CrashDialogSettings.h"
#include "DialogTestSupport.h"
#include "MessageBoxAnswerer.h"
#include "TCrashClassicDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

using namespace crashreport;
using crashreport::testing::Find;
using crashreport::testing::SampleRequest;

namespace {

class ClassicDialogTest : public ::testing::Test {
protected:
    std::unique_ptr<TCrashClassicDialog> open(const TCrashShowRequest &r)
    {
        m_request = r;
        m_state = {};
        m_state.style = 2;
        m_state.sendRequested = r.sendConfigured;
        auto dialog = std::make_unique<TCrashClassicDialog>(m_request, m_state, TCrashDialogHooks{}, settingsPath());
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
        return dialog;
    }
    std::string settingsPath() const { return m_folder.file("CrashReport.ini"); }

    crashreport::testing::CrashTempFolder m_folder{"classic"};
    TCrashShowRequest m_request;
    TCrashShowState m_state;
};

} // namespace

TEST_F(ClassicDialogTest, WithoutSendingTheOnlyButtonReadsOk)
{
    TCrashShowRequest r = SampleRequest();
    r.sendConfigured = false;
    r.logSections = 0;
    auto d = open(r);
    auto *close = Find<QPushButton>(d.get(), "CloseButton");
    EXPECT_EQ(close->text(), "&OK");
    EXPECT_TRUE(close->isDefault());
    EXPECT_TRUE(close->hasFocus());
    EXPECT_FALSE(Find<QPushButton>(d.get(), "SendButton")->isVisibleTo(d.get()));
    EXPECT_FALSE(Find<QPushButton>(d.get(), "SendButton")->isEnabled());
    EXPECT_FALSE(Find<QLineEdit>(d.get(), "EmailEdit")->isVisibleTo(d.get()));
    EXPECT_EQ(d->client()->width(), TCrashClassicDialog::ClientWidth);
    EXPECT_EQ(Find<QLabel>(d.get(), "MessageLabel")->y(), 59);
    EXPECT_EQ(Find<QLabel>(d.get(), "MessageLabel")->text().toStdString(), r.exceptionMessage);
    QTest::keyClick(d.get(), Qt::Key_Return);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(m_state.style, 0);
}

TEST_F(ClassicDialogTest, InvalidEmailKeepsTheDialogOpenAndAValidOneIsStored)
{
    TCrashShowRequest r = SampleRequest();
    r.logSections = 0x02;
    auto d = open(r);
    EXPECT_EQ(Find<QPushButton>(d.get(), "CloseButton")->text(), "&Don't Send");
    auto *email = Find<QLineEdit>(d.get(), "EmailEdit");
    auto *reproduce = Find<QPlainTextEdit>(d.get(), "ReproduceEdit");
    QTest::keyClicks(reproduce, "  clicked Save twice  ");
    QTest::keyClicks(email, "nobody-at-all");

    MessageBoxAnswerer answerer;
    answerer.answer(QMessageBox::Ok);
    QTest::mouseClick(Find<QPushButton>(d.get(), "SendButton"), Qt::LeftButton);
    ASSERT_EQ(answerer.seen().size(), 1);
    EXPECT_EQ(answerer.seen()[0].title, "Error.");
    EXPECT_EQ(answerer.seen()[0].text, "Invalid email.");
    EXPECT_TRUE(d->isVisible());

    email->clear();
    QTest::keyClicks(email, "  me@example.org ");
    QTest::mouseClick(Find<QPushButton>(d.get(), "SendButton"), Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(m_state.sendRequested);
    EXPECT_EQ(m_state.emailAddress, "me@example.org");
    EXPECT_EQ(m_state.reproduceText, "clicked Save twice");
    EXPECT_EQ(LoadCrashDialogSettings(settingsPath()).email, "me@example.org");

    auto again = open(r);
    EXPECT_EQ(Find<QLineEdit>(again.get(), "EmailEdit")->text(), "me@example.org") << "read back from the settings file";
    QTest::mouseClick(Find<QPushButton>(again.get(), "CloseButton"), Qt::LeftButton);
    EXPECT_FALSE(m_state.sendRequested) << "Don't Send";
}

TEST_F(ClassicDialogTest, RestartBoxFromTheFourthReportAndTheLinkHandsOver)
{
    TCrashShowRequest r = SampleRequest();
    r.errorCount = 3;
    auto first = open(r);
    EXPECT_FALSE(Find<QCheckBox>(first.get(), "TerminateCheckBox")->isVisibleTo(first.get()));
    first->close();

    r.errorCount = 4;
    auto d = open(r);
    auto *box = Find<QCheckBox>(d.get(), "TerminateCheckBox");
    EXPECT_EQ(box->text(), "Restart application.");
    ASSERT_TRUE(box->isVisibleTo(d.get()));
    box->setChecked(true);
    QTest::mouseClick(Find<QPushButton>(d.get(), "ClickHereLink"), Qt::LeftButton);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(m_state.style, 3);
    EXPECT_TRUE(m_state.detailedForced);
    EXPECT_TRUE(m_state.terminateRequested);
}

TEST_F(ClassicDialogTest, CloseBoxFinishesAndChecksTheAddressToo)
{
    TCrashShowRequest r = SampleRequest();
    auto d = open(r);
    QTest::keyClicks(Find<QLineEdit>(d.get(), "EmailEdit"), "broken");
    MessageBoxAnswerer answerer;
    answerer.answer(QMessageBox::Ok);
    QTest::keyClick(d.get(), Qt::Key_Escape);
    EXPECT_EQ(answerer.seen().size(), 1);
    EXPECT_TRUE(d->isVisible());
    Find<QLineEdit>(d.get(), "EmailEdit")->clear();
    QTest::keyClick(d.get(), Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(m_state.style, 0);
    EXPECT_EQ(m_state.emailAddress, "");
}
