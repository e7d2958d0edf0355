#include "TCrashDialogPresenter.h"

#include "DialogCodec.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

extern char **environ;

namespace crashreport {

namespace {

constexpr int CompanionChannelFd = 3;
constexpr const char *CompanionName = "crashreport-dialog";

bool isExecutable(const std::string &path)
{
    return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

std::string ownFolder()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.find_last_of('/') + 1);
}

bool reap(pid_t pid, int waitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

bool CrashCanShowWindows()
{
    auto set = [](const char *name) {
        const char *v = std::getenv(name);
        return v && *v;
    };
    // A program that runs on Qt's offscreen or minimal platform has nobody to see a window: a
    // dialog there would only wait for ever.
    if (const char *platform = std::getenv("QT_QPA_PLATFORM");
        platform && (std::string_view(platform).starts_with("offscreen") || std::string_view(platform).starts_with("minimal")))
        return false;
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
}

std::string FindCrashDialogCompanion()
{
    const std::string folder = ownFolder();
    for (const std::string &candidate : {folder + CompanionName, folder + "../libexec/vetu/" + CompanionName})
        if (isExecutable(candidate))
            return candidate;
#ifdef CRASHREPORT_DIALOG_BUILD_PATH
    if (isExecutable(CRASHREPORT_DIALOG_BUILD_PATH))
        return CRASHREPORT_DIALOG_BUILD_PATH;
#endif
    return {};
}

TCrashDialogPresenter::TCrashDialogPresenter(std::string companion) : m_companion(std::move(companion)) { }

TCrashDialogPresenter::~TCrashDialogPresenter()
{
    stop(true);
}

bool TCrashDialogPresenter::start()
{
    if (m_pid > 0)
        return true;
    const std::string path = m_companion.empty() ? FindCrashDialogCompanion() : m_companion;
    if (!isExecutable(path)) {
        m_lastError = "companion not found";
        return false;
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        m_lastError = "no socket pair";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // dup2 onto the same number would keep close-on-exec: move the child's end away first.
    int childFd = fds[1];
    if (childFd == CompanionChannelFd) {
        childFd = ::fcntl(fds[1], F_DUPFD_CLOEXEC, 10);
        ::close(fds[1]);
        fds[1] = childFd;
    }
    posix_spawn_file_actions_adddup2(&actions, childFd, CompanionChannelFd);
    const std::string fdText = std::to_string(CompanionChannelFd);
    char *argv[] = {const_cast<char *>(path.c_str()), const_cast<char *>("--channel"), const_cast<char *>(fdText.c_str()),
                    nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        m_lastError = "companion could not be started";
        return false;
    }
    m_pid = pid;
    m_channel.open(fds[0]);
    return true;
}

void TCrashDialogPresenter::stop(bool ask)
{
    if (m_pid <= 0) {
        m_channel.close();
        return;
    }
    if (ask && m_channel.isOpen())
        m_channel.send(TDialogMessageType::Quit, {}, 500);
    m_channel.close(); // the companion sees the end of the stream and leaves
    if (!reap(m_pid, ask ? 2000 : 0)) {
        ::kill(m_pid, SIGKILL);
        reap(m_pid, 2000);
    }
    m_pid = -1;
}

void TCrashDialogPresenter::warn(TCrashShowResult &result, const std::string &text)
{
    result.warnings.push_back(text);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

TCrashShowResult TCrashDialogPresenter::show(const TCrashShowRequest &request, const TCrashShowCallbacks &callbacks)
{
    TCrashShowResult result;
    result.sendRequested = request.sendConfigured;
    result.screenshotRequested = request.screenshotRequested;
    try {
        m_lastError.clear();
        m_firstPaintMs = -1;
        m_showStarted = std::chrono::steady_clock::now();
        if (callbacks.actionNotify)
            callbacks.actionNotify(0, true);
        if (request.dialogStyle != 0 && CrashCanShowWindows()) {
            stop(true); // one companion per report: one left from an earlier report goes first
            TCrashShowResult answered = result;
            if (start() && converse(request, callbacks, answered)) {
                result = answered;
            } else {
                stop(false);
                result.painted = answered.painted;
                result.warnings = answered.warnings;
            }
            if (!result.painted)
                warn(result, ShowErrorWarning);
        }
        if (callbacks.actionNotify)
            callbacks.actionNotify(1, true);
    } catch (...) {
        stop(false); // a failing listener ends the dialog step; the report goes on
    }
    return result;
}

bool TCrashDialogPresenter::converse(const TCrashShowRequest &request, const TCrashShowCallbacks &callbacks,
                                     TCrashShowResult &result)
{
    if (!m_channel.send(TDialogMessageType::ShowRequest, EncodeShowRequest(request))) {
        m_lastError = "companion took no request";
        return false;
    }
    bool painted = false;
    for (;;) {
        TDialogMessage message;
        // Before the first window the companion must answer soon; after it the user takes
        // whatever time they need.
        const auto status = m_channel.receive(message, painted ? -1 : m_startTimeoutMs);
        if (status == TDialogChannel::Status::Timeout) {
            m_lastError = "companion did not answer";
            return false;
        }
        if (status != TDialogChannel::Status::Message) {
            m_lastError = status == TDialogChannel::Status::Closed ? "companion ended" : m_channel.error();
            return false;
        }
        switch (message.type) {
        case TDialogMessageType::Painted:
            if (!painted)
                m_firstPaintMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_showStarted).count();
            painted = result.painted = true;
            break;
        case TDialogMessageType::CustomButton:
            if (callbacks.customButtonClicked)
                callbacks.customButtonClicked();
            m_channel.send(TDialogMessageType::CustomAnswer, EncodeFlag(false));
            break;
        case TDialogMessageType::ActionNotify: {
            TDialogAction action;
            if (!DecodeAction(message.payload, action)) {
                m_lastError = "malformed action";
                return false;
            }
            const bool flag = callbacks.actionNotify ? callbacks.actionNotify(action.action, action.flag) : action.flag;
            m_channel.send(TDialogMessageType::ActionAnswer, EncodeFlag(flag));
            break;
        }
        case TDialogMessageType::Warning: {
            TDialogWarning warning;
            if (!DecodeWarning(message.payload, warning)) {
                m_lastError = "malformed warning";
                return false;
            }
            warn(result, warning.text);
            break;
        }
        case TDialogMessageType::ShowResult: {
            TCrashShowResult answer;
            if (!DecodeShowResult(message.payload, answer)) {
                m_lastError = "malformed result";
                return false;
            }
            answer.warnings.insert(answer.warnings.begin(), result.warnings.begin(), result.warnings.end());
            answer.painted = answer.painted || painted;
            result = answer;
            return true;
        }
        default:
            m_lastError = "unexpected message";
            return false;
        }
    }
}

void TCrashDialogPresenter::progressOpen(bool foreground)
{
    if (m_pid > 0 && !m_channel.send(TDialogMessageType::ProgressOpen, EncodeFlag(foreground)))
        stop(false);
}

void TCrashDialogPresenter::progressUpdate(const std::string &label, int position, int maximum)
{
    if (m_pid > 0 && !m_channel.send(TDialogMessageType::ProgressUpdate, EncodeProgress({label, position, maximum})))
        stop(false);
}

void TCrashDialogPresenter::progressClose()
{
    if (m_pid > 0 && !m_channel.send(TDialogMessageType::ProgressClose))
        stop(false);
}

void TCrashDialogPresenter::endReport()
{
    stop(true);
}

} // namespace crashreport
