// The whole show step inside the companion: styles, hand-over, listeners, the request dialog and
// the progress window.
#include "DialogTestSupport.h"
#include "MessageBoxAnswerer.h"
#include "TCrashProgressWindow.h"
#include "TCrashShowLoop.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextCursor>
#include <QTimer>

#include <gtest/gtest.h>

using namespace crashreport;
using crashreport::testing::Find;
using crashreport::testing::SampleRequest;

namespace {

// Runs `act` on each dialog once it is on screen.
void whenShown(TCrashShowLoop &loop, std::function<void(QWidget *)> act, std::vector<QString> *names)
{
    loop.onDialog = [act, names](QWidget *dialog) {
        if (names)
            names->push_back(dialog->objectName());
        QTimer::singleShot(0, dialog, [dialog, act] {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
            act(dialog);
        });
    };
}

} // namespace

TEST(ShowLoopTest, ClickHereOpensTheDetailedDialogInForcedDetailedMode)
{
    crashreport::testing::CrashTempFolder folder("loop");
    TCrashShowRequest r = SampleRequest();
    r.dialogStyle = 2;
    int paints = 0;
    TCrashShowLoop loop(r, {[&] { ++paints; }, {}, {}}, folder.file("CrashReport.ini"));
    std::vector<QString> names;
    bool detailsShown = true;
    whenShown(loop, [&](QWidget *d) {
        if (d->objectName() == "CR_MS_Dialog") {
            QTest::mouseClick(Find<QPushButton>(d, "ClickHereLink"), Qt::LeftButton);
        } else {
            detailsShown = Find<QWidget>(d, "DetailsButton")->isVisibleTo(d);
            EXPECT_TRUE(Find<QWidget>(d, "Tabs")->isVisibleTo(d));
            QTest::keyClick(d, Qt::Key_Return);
        }
    }, &names);
    const TCrashShowResult result = loop.run();
    EXPECT_EQ(names, (std::vector<QString>{"CR_MS_Dialog", "CR_Dialog"}));
    EXPECT_FALSE(detailsShown);
    EXPECT_TRUE(result.painted);
    EXPECT_EQ(paints, 1);
}

TEST(ShowLoopTest, ListenerThatClearsTerminateShowsTheDialogAgain)
{
    crashreport::testing::CrashTempFolder folder("loop");
    TCrashShowRequest r = SampleRequest();
    r.errorCount = 4;
    std::vector<std::pair<int, bool>> actions;
    TCrashDialogHooks hooks;
    hooks.action = [&](int action, bool flag) {
        actions.emplace_back(action, flag);
        return actions.size() > 1; // the first time the listener says no
    };
    TCrashShowLoop loop(r, hooks, folder.file("CrashReport.ini"));
    std::vector<QString> names;
    whenShown(loop, [](QWidget *d) { QTest::keyClick(d, Qt::Key_R, Qt::AltModifier); }, &names);
    const TCrashShowResult result = loop.run();
    EXPECT_EQ(names.size(), 2u);
    EXPECT_EQ(actions, (std::vector<std::pair<int, bool>>{{8, true}, {8, true}}));
    EXPECT_TRUE(result.terminateRequested);
}

TEST(ShowLoopTest, RequestDialogFollowsTheDetailedDialogOnly)
{
    crashreport::testing::CrashTempFolder folder("loop");
    TCrashShowRequest r = SampleRequest();
    r.logSections = 0x02;
    r.keepLogFile = true;
    for (int style : {3, 2}) {
        r.dialogStyle = style;
        TCrashShowLoop loop(r, {}, folder.file("CrashReport.ini"));
        std::vector<QString> names;
        whenShown(loop, [](QWidget *d) {
            if (d->objectName() == "CR_Request") {
                EXPECT_EQ(Find<QLabel>(d, "RequestLabel")->text(), "Please describe the steps to reproduce the error:");
                QTest::keyClicks(Find<QPlainTextEdit>(d, "RequestEdit"), "opened set 5 ");
                QTest::mouseClick(Find<QPushButton>(d, "OKButton"), Qt::LeftButton);
            } else if (d->objectName() == "CR_MS_Dialog") {
                QTest::mouseClick(Find<QPushButton>(d, "CloseButton"), Qt::LeftButton);
            } else {
                QTest::keyClick(d, Qt::Key_Return);
            }
        }, &names);
        const TCrashShowResult result = loop.run();
        if (style == 3) {
            EXPECT_EQ(names, (std::vector<QString>{"CR_Dialog", "CR_Request"}));
            EXPECT_EQ(result.reproduceText, "opened set 5");
        } else {
            EXPECT_EQ(names, (std::vector<QString>{"CR_MS_Dialog"}));
        }
    }
}

TEST(ShowLoopTest, StepsGivenEarlierStartTheEditsAndCountOnlyWhenConfirmed)
{
    crashreport::testing::CrashTempFolder folder("loop");
    TCrashShowRequest r = SampleRequest();
    r.reproduceText = "opened set 5";
    r.keepLogFile = true;
    struct Case {
        int style;
        std::uint8_t logSections;
        bool given;
        const char *text;
    };
    for (const Case c : {Case{3, 0x02, true, "opened set 5, then 6"}, Case{3, 0x00, false, ""}, Case{2, 0x02, true, "opened set 5"},
                         Case{2, 0x00, false, ""}}) {
        r.dialogStyle = c.style;
        r.logSections = c.logSections;
        TCrashShowLoop loop(r, {}, folder.file("CrashReport.ini"));
        QString shown;
        whenShown(loop, [&](QWidget *d) {
            if (d->objectName() == "CR_Request") {
                auto *edit = Find<QPlainTextEdit>(d, "RequestEdit");
                shown = edit->toPlainText();
                edit->moveCursor(QTextCursor::End);
                QTest::keyClicks(edit, ", then 6");
                QTest::mouseClick(Find<QPushButton>(d, "OKButton"), Qt::LeftButton);
            } else if (d->objectName() == "CR_MS_Dialog") {
                shown = Find<QPlainTextEdit>(d, "ReproduceEdit")->toPlainText();
                QTest::mouseClick(Find<QPushButton>(d, "CloseButton"), Qt::LeftButton);
            } else {
                QTest::keyClick(d, Qt::Key_Return);
            }
        }, nullptr);
        const TCrashShowResult result = loop.run();
        EXPECT_EQ(result.reproduceGiven, c.given) << c.style << " " << int(c.logSections);
        EXPECT_EQ(result.reproduceText, c.text) << c.style << " " << int(c.logSections);
        if (c.given) {
            EXPECT_EQ(shown, "opened set 5") << "the edit starts with the steps given last time";
        }
    }
}

TEST(ShowLoopTest, MessageBoxStyleShowsThePlainMessage)
{
    TCrashShowRequest r = SampleRequest();
    r.dialogStyle = 1;
    TCrashShowLoop loop(r, {}, "");
    MessageBoxAnswerer answerer;
    answerer.answer(QMessageBox::Ok);
    const TCrashShowResult result = loop.run();
    ASSERT_EQ(answerer.seen().size(), 1);
    EXPECT_EQ(answerer.seen()[0].title, "Error occurred");
    EXPECT_EQ(answerer.seen()[0].text.toStdString(), r.exceptionMessage);
    EXPECT_EQ(answerer.seen()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(result.painted);
    EXPECT_FALSE(result.terminateRequested);
}

TEST(ProgressWindowTest, LabelAndBarFollowTheProgramAndOnlyTheProgramCloses)
{
    TCrashShowRequest r = SampleRequest();
    TCrashProgressWindow window(r, true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), "Send.");
    window.setProgress("Connecting with server...", 30, 100);
    EXPECT_EQ(window.label()->text(), "Connecting with server...");
    EXPECT_EQ(window.bar()->value(), 30);
    window.setProgress("<b>x</b>", 500, 100);
    EXPECT_EQ(window.label()->textFormat(), Qt::PlainText);
    EXPECT_EQ(window.bar()->value(), 100);
    window.close();
    EXPECT_TRUE(window.isVisible());
    window.setProperty("closingByProgram", true);
    window.close();
    EXPECT_FALSE(window.isVisible());
}
