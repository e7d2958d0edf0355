// The companion's side of the send flow, in this process on the offscreen platform: the message
// boxes (real QMessageBox windows, answered by MessageBoxAnswerer) and the clipboard, asked for
// over a real socket pair by a thread that plays the program.
#include "DialogCodec.h"
#include "MessageBoxAnswerer.h"
#include "TCrashCompanion.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <thread>

using namespace crashreport;

namespace {

// Plays the program: sends `message`, then waits for `answer`; false when it did not come.
bool ask(TDialogChannel &channel, TDialogMessageType type, const std::string &payload, TDialogMessageType answer,
         std::string *answerPayload = nullptr)
{
    if (!channel.send(type, payload))
        return false;
    for (;;) {
        TDialogMessage message;
        if (channel.receive(message, 10000) != TDialogChannel::Status::Message)
            return false;
        if (message.type == answer) {
            if (answerPayload)
                *answerPayload = message.payload;
            return true;
        }
    }
}

} // namespace

TEST(CompanionServeTest, ShowsTheSendFlowBoxesAndKeepsTheClipboardUntilTheReportEnds)
{
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    MessageBoxAnswerer answerer;
    answerer.answer(QMessageBox::Ok);
    answerer.answer(QMessageBox::Ok);
    bool firstClosed = false, secondClosed = false, copied = false, quitSent = false;
    std::thread program([&] {
        TDialogChannel channel(fds[0]);
        firstClosed = ask(channel, TDialogMessageType::MessageBox,
                          EncodeMessageBox({"Information.", "The message was sent successfully.", 0}),
                          TDialogMessageType::MessageBoxClosed);
        secondClosed = ask(channel, TDialogMessageType::MessageBox,
                           EncodeMessageBox({"Error.", "<b>SMTP</b> error code: 550", 1}),
                           TDialogMessageType::MessageBoxClosed);
        std::string done;
        copied = ask(channel, TDialogMessageType::ClipboardCopy, EncodeText("The report.\r\nLine two."),
                     TDialogMessageType::ClipboardDone, &done) &&
                 done == EncodeFlag(true);
        quitSent = channel.send(TDialogMessageType::Quit);
    });
    TCrashCompanion companion(fds[1]);
    const int code = companion.run();
    program.join();

    EXPECT_EQ(code, 0);
    EXPECT_TRUE(firstClosed);
    EXPECT_TRUE(secondClosed);
    EXPECT_TRUE(copied);
    EXPECT_TRUE(quitSent);
    ASSERT_EQ(answerer.seen().size(), 2);
    EXPECT_EQ(answerer.seen()[0].title, "Information.");
    EXPECT_EQ(answerer.seen()[0].text, "The message was sent successfully.");
    EXPECT_EQ(answerer.seen()[0].icon, QMessageBox::Information);
    EXPECT_EQ(answerer.seen()[1].title, "Error.");
    EXPECT_EQ(answerer.seen()[1].text, "<b>SMTP</b> error code: 550");
    EXPECT_EQ(answerer.seen()[1].icon, QMessageBox::Critical);
    for (const MessageBoxAnswerer::Seen &look : answerer.seen()) {
        EXPECT_TRUE(look.topMost);
        EXPECT_EQ(look.modality, Qt::ApplicationModal);
        EXPECT_EQ(look.textFormat, Qt::PlainText) << "texts from the report are never markup";
    }
    EXPECT_EQ(QApplication::clipboard()->text(), "The report.\r\nLine two.");
}
