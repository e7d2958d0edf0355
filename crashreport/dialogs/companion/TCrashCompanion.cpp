#include "TCrashCompanion.h"

#include "DialogCodec.h"
#include "ScreenshotFile.h"
#include "TCrashProgressWindow.h"
#include "TCrashScreenGrab.h"
#include "TCrashShowLoop.h"

#include "CrashDialogSettings.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QWindow>
#include <QSocketNotifier>

namespace crashreport {

namespace {

constexpr int RequestWaitMs = 10000;
constexpr int AnswerWaitMs = 60000;

} // namespace

TCrashCompanion::TCrashCompanion(int fd) : m_channel(fd) { }

TCrashCompanion::~TCrashCompanion() = default;

bool TCrashCompanion::waitFor(TDialogMessageType type, std::string &payload)
{
    for (;;) {
        TDialogMessage message;
        if (m_channel.receive(message, AnswerWaitMs) != TDialogChannel::Status::Message)
            return false;
        if (message.type == type) {
            payload = std::move(message.payload);
            return true;
        }
        if (message.type == TDialogMessageType::Quit)
            return false;
    }
}

int TCrashCompanion::run(bool standby)
{
    // Only the program ends the companion: closing its last box or dialog does not.
    QApplication::setQuitOnLastWindowClosed(false);
    TDialogMessage first;
    if (m_channel.receive(first, standby ? -1 : RequestWaitMs) != TDialogChannel::Status::Message)
        return 2;
    switch (first.type) {
    case TDialogMessageType::ShowRequest:
        return showReport(first.payload);
    case TDialogMessageType::ProgressOpen:
    case TDialogMessageType::MessageBox:
    case TDialogMessageType::ClipboardCopy:
        // The send flow needs a window although no dialog was shown.
        onMessage(first);
        serve();
        return m_exitCode;
    default:
        return 2;
    }
}

int TCrashCompanion::showReport(const std::string &payload)
{
    if (!DecodeShowRequest(payload, m_request))
        return 2;

    // The screenshot comes first, before any window of ours can cover the program.
    QImage screenshot;
    if (!m_request.screenshotFile.empty()) {
        screenshot = CrashGrabScreen(m_request);
        if (screenshot.isNull())
            m_channel.send(TDialogMessageType::Warning, EncodeWarning({0, ScreenshotRefusedWarning}));
    }

    bool channelLost = false;
    TCrashDialogHooks hooks;
    hooks.painted = [this] { m_channel.send(TDialogMessageType::Painted); };
    hooks.customButton = [this, &channelLost] {
        std::string payload;
        bool close = false;
        if (!m_channel.send(TDialogMessageType::CustomButton) || !waitFor(TDialogMessageType::CustomAnswer, payload) ||
            !DecodeFlag(payload, close)) {
            channelLost = true;
            return true; // nobody left to ask: close
        }
        return close;
    };
    hooks.action = [this, &channelLost](int action, bool flag) {
        std::string payload;
        bool answer = flag;
        if (!m_channel.send(TDialogMessageType::ActionNotify, EncodeAction({action, flag})) ||
            !waitFor(TDialogMessageType::ActionAnswer, payload) || !DecodeFlag(payload, answer)) {
            channelLost = true;
            return flag;
        }
        return answer;
    };

    const std::string settings = m_request.settingsFile.empty() ? CrashDialogSettingsPath() : m_request.settingsFile;
    TCrashShowLoop loop(m_request, hooks, settings);
    TCrashShowResult result = loop.run();
    if (channelLost)
        return 3;

    if (result.sendRequested && result.screenshotRequested && !screenshot.isNull() &&
        WriteScreenshotFile(m_request.screenshotFile, CrashToScreenshotImage(screenshot)))
        result.screenshotFile = m_request.screenshotFile;
    if (result.copyRequested)
        QApplication::clipboard()->setText(QString::fromStdString(m_request.reportText));

    if (!m_channel.send(TDialogMessageType::ShowResult, EncodeShowResult(result)))
        return 3;
    serve();
    return m_exitCode;
}

void TCrashCompanion::serve()
{
    QApplication::setQuitOnLastWindowClosed(false);
    QSocketNotifier notifier(m_channel.fd(), QSocketNotifier::Read);
    connect(&notifier, &QSocketNotifier::activated, this, [this, &notifier] {
        for (;;) {
            TDialogMessage message;
            const auto status = m_channel.receive(message, 0);
            if (status == TDialogChannel::Status::Timeout)
                return;
            if (status != TDialogChannel::Status::Message) {
                m_exitCode = status == TDialogChannel::Status::Closed ? 0 : 2;
                notifier.setEnabled(false);
                QApplication::exit(m_exitCode);
                return;
            }
            onMessage(message);
        }
    });
    QApplication::exec();
    m_progress.reset();
}

void TCrashCompanion::onMessage(const TDialogMessage &message)
{
    switch (message.type) {
    case TDialogMessageType::ProgressOpen: {
        bool foreground = true;
        if (!DecodeFlag(message.payload, foreground))
            break;
        m_progress = std::make_unique<TCrashProgressWindow>(m_request, foreground);
        makeTransient(m_progress.get());
        m_progress->show();
        m_channel.send(TDialogMessageType::ProgressReady);
        break;
    }
    case TDialogMessageType::ProgressUpdate: {
        TDialogProgress progress;
        if (m_progress && DecodeProgress(message.payload, progress))
            m_progress->setProgress(QString::fromStdString(progress.label), progress.position, progress.maximum);
        break;
    }
    case TDialogMessageType::ProgressClose:
        if (m_progress) {
            m_progress->setProperty("closingByProgram", true);
            m_progress->close();
            m_progress.reset();
        }
        break;
    case TDialogMessageType::MessageBox:
        showMessageBox(message.payload);
        break;
    case TDialogMessageType::ClipboardCopy:
        copyToClipboard(message.payload);
        break;
    case TDialogMessageType::Quit:
        QApplication::exit(0);
        break;
    default:
        break; // answers that come too late are of no use any more
    }
}

} // namespace crashreport

namespace crashreport {

void TCrashCompanion::makeTransient(QWidget *window)
{
    if (!m_request.mainWindowId)
        return;
    if (!m_programWindow)
        m_programWindow = QWindow::fromWinId(static_cast<WId>(m_request.mainWindowId));
    window->winId();
    if (m_programWindow && window->windowHandle())
        window->windowHandle()->setTransientParent(m_programWindow);
}

void TCrashCompanion::showMessageBox(const std::string &payload)
{
    TDialogMessageBox box;
    if (DecodeMessageBox(payload, box)) {
        QMessageBox dialog(box.icon == 1 ? QMessageBox::Critical : QMessageBox::Information, QString::fromStdString(box.caption),
                           QString::fromStdString(box.text), QMessageBox::Ok);
        dialog.setObjectName("SendFlowMessageBox");
        dialog.setTextFormat(Qt::PlainText);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
        makeTransient(&dialog);
        dialog.exec();
    }
    m_channel.send(TDialogMessageType::MessageBoxClosed);
}

void TCrashCompanion::copyToClipboard(const std::string &payload)
{
    std::string text;
    bool done = false;
    if (DecodeText(payload, text)) {
        QClipboard *clipboard = QApplication::clipboard();
        clipboard->setText(QString::fromStdString(text));
        done = clipboard->ownsClipboard() || clipboard->text() == QString::fromStdString(text);
    }
    m_channel.send(TDialogMessageType::ClipboardDone, EncodeFlag(done));
}

} // namespace crashreport
