#include "TCrashDialogPresenter.h"

#include "DialogCodec.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/auxv.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>
#include <vector>

extern char **environ;

namespace crashreport {

namespace {

constexpr int CompanionChannelFd = 3;
constexpr const char *CompanionName = "crashreport-dialog";
constexpr const char *ScreenshotName = "Screenshot.png";

// A program started as "ld-linux-x86-64.so.2 program ..." (the device drive's starter does so, a
// FAT drive giving no execute permission) has the loader as its executable; the program is its
// argv[0]. Only then is the loader the executable itself, with no interpreter base.
std::string loaderPath()
{
    if (::getauxval(AT_BASE) != 0)
        return {};
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    const std::string exe(buffer, static_cast<std::size_t>(n));
    return exe.substr(exe.find_last_of('/') + 1).starts_with("ld-") ? exe : std::string();
}

// A program file that can be started: executable, or readable when the loader starts it.
bool isStartable(const std::string &path)
{
    if (path.empty())
        return false;
    return ::access(path.c_str(), X_OK) == 0 || (!loaderPath().empty() && ::access(path.c_str(), R_OK) == 0);
}

std::string ownFolder()
{
    std::string path;
    if (!loaderPath().empty()) {
        if (char *real = ::realpath(program_invocation_name, nullptr)) {
            path = real;
            std::free(real);
        }
    } else {
        char buffer[4096];
        const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        if (n > 0)
            path.assign(buffer, static_cast<std::size_t>(n));
    }
    return path.empty() ? std::string() : path.substr(0, path.find_last_of('/') + 1);
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
        if (isStartable(candidate))
            return candidate;
#ifdef CRASHREPORT_DIALOG_BUILD_PATH
    if (isStartable(CRASHREPORT_DIALOG_BUILD_PATH))
        return CRASHREPORT_DIALOG_BUILD_PATH;
#endif
    return {};
}

TCrashDialogPresenter::TCrashDialogPresenter(std::string companion) : m_companion(std::move(companion)) { }

TCrashDialogPresenter::~TCrashDialogPresenter()
{
    stop(true);
    removeScreenshot();
}

bool TCrashDialogPresenter::start(bool standby)
{
    if (m_pid > 0)
        return true;
    const std::string path = m_companion.empty() ? FindCrashDialogCompanion() : m_companion;
    if (!isStartable(path)) {
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
    // Without execute permission (a FAT drive) the companion is started by the loader that
    // started this program; it then finds no qt.conf beside itself and is told where the
    // plugins of its folder are.
    const std::string loader = ::access(path.c_str(), X_OK) == 0 ? std::string() : loaderPath();
    std::vector<char *> argv;
    if (!loader.empty())
        argv.push_back(const_cast<char *>(loader.c_str()));
    for (const char *arg : {path.c_str(), "--channel", fdText.c_str()})
        argv.push_back(const_cast<char *>(arg));
    if (standby)
        argv.push_back(const_cast<char *>("--standby"));
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e)
        environment.emplace_back(*e);
    const std::string plugins = path.substr(0, path.find_last_of('/') + 1) + "plugins";
    if (!loader.empty() && !std::getenv("QT_PLUGIN_PATH") && ::access(plugins.c_str(), R_OK) == 0)
        environment.push_back("QT_PLUGIN_PATH=" + plugins);
    std::vector<char *> envp;
    for (std::string &e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const std::string &program = loader.empty() ? path : loader;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
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

bool TCrashDialogPresenter::running()
{
    if (m_pid <= 0)
        return false;
    if (::waitpid(m_pid, nullptr, WNOHANG) == 0)
        return true;
    m_pid = -1; // ended by itself (or from outside): reaped
    m_channel.close();
    return false;
}

bool TCrashDialogPresenter::acquire()
{
    // The companion of this report, or the one prepared ahead, which takes this report.
    if (running()) {
        m_inReport = true;
        return true;
    }
    stop(false);
    m_inReport = true;
    return start();
}

bool TCrashDialogPresenter::waitFor(TDialogMessageType type, std::string &payload, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left = -1;
        if (timeoutMs >= 0) {
            left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count());
            if (left <= 0)
                return false;
        }
        TDialogMessage message;
        if (m_channel.receive(message, left) != TDialogChannel::Status::Message)
            return false;
        if (message.type == type) {
            payload = std::move(message.payload);
            return true;
        }
    }
}

void TCrashDialogPresenter::prepareAhead()
{
    std::lock_guard lock(m_lock);
    m_prepareAhead = true;
    if (!m_inReport && !running() && CrashCanShowWindows())
        start(true);
}

void TCrashDialogPresenter::warn(TCrashShowResult &result, const std::string &text)
{
    result.warnings.push_back(text);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

TCrashShowResult TCrashDialogPresenter::show(const TCrashShowRequest &request, const TCrashShowCallbacks &callbacks)
{
    std::lock_guard lock(m_lock);
    TCrashShowResult result;
    result.sendRequested = request.sendConfigured;
    result.screenshotRequested = request.screenshotRequested;
    try {
        m_lastError.clear();
        m_firstPaintMs = -1;
        m_showStarted = std::chrono::steady_clock::now();
        // The report sequence fires the action events 0 and 1 around this step; only 8 (asked
        // before terminating) comes from here.
        if (request.dialogStyle != 0 && CrashCanShowWindows()) {
            if (m_inReport) {
                stop(true); // one companion per report: one left from an earlier report goes first
                m_inReport = false;
            }
            TCrashShowResult answered = result;
            TCrashShowRequest prepared = request;
            if (prepared.screenshotFile.empty() && prepared.screenshotRequested && prepared.sendConfigured)
                prepared.screenshotFile = screenshotPath();
            if (acquire() && converse(prepared, callbacks, answered)) {
                result = answered;
            } else {
                stop(false);
                result.painted = answered.painted;
                result.warnings = answered.warnings;
            }
            if (!result.painted)
                warn(result, ShowErrorWarning);
        }
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
    std::lock_guard lock(m_lock);
    if (!CrashCanShowWindows() || !acquire())
        return;
    std::string ready;
    // The send flow starts once the window is there (or could not be made).
    if (!m_channel.send(TDialogMessageType::ProgressOpen, EncodeFlag(foreground)) ||
        !waitFor(TDialogMessageType::ProgressReady, ready, m_startTimeoutMs))
        stop(false);
}

void TCrashDialogPresenter::progressUpdate(const std::string &label, int position, int maximum)
{
    std::lock_guard lock(m_lock);
    if (m_pid > 0 && !m_channel.send(TDialogMessageType::ProgressUpdate, EncodeProgress({label, position, maximum})))
        stop(false);
}

void TCrashDialogPresenter::progressClose()
{
    std::lock_guard lock(m_lock);
    if (m_pid > 0 && !m_channel.send(TDialogMessageType::ProgressClose))
        stop(false);
}

void TCrashDialogPresenter::messageBox(const std::string &caption, const std::string &text, int icon)
{
    std::lock_guard lock(m_lock);
    try {
        std::string closed;
        if (CrashCanShowWindows() && acquire() &&
            m_channel.send(TDialogMessageType::MessageBox, EncodeMessageBox({caption, text, icon})) &&
            waitFor(TDialogMessageType::MessageBoxClosed, closed, -1))
            return;
        stop(false);
    } catch (...) {
        stop(false);
    }
    TCrashReportPresenter::messageBox(caption, text, icon);
}

bool TCrashDialogPresenter::copyToClipboard(const std::string &text)
{
    std::lock_guard lock(m_lock);
    try {
        std::string payload;
        bool done = false;
        if (CrashCanShowWindows() && acquire() && m_channel.send(TDialogMessageType::ClipboardCopy, EncodeText(text)) &&
            waitFor(TDialogMessageType::ClipboardDone, payload, m_startTimeoutMs) && DecodeFlag(payload, done))
            return done;
        stop(false);
    } catch (...) {
        stop(false);
    }
    return false;
}

std::string TCrashDialogPresenter::screenshotPath()
{
    if (m_screenshotFolder.empty()) {
        // A folder of our own: a fixed name in a shared temporary folder could be planted.
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/crashreport-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            return {};
        m_screenshotFolder = pattern;
    }
    return m_screenshotFolder + "/" + ScreenshotName;
}

void TCrashDialogPresenter::removeScreenshot()
{
    if (m_screenshotFolder.empty())
        return;
    ::unlink((m_screenshotFolder + "/" + ScreenshotName).c_str());
    ::rmdir(m_screenshotFolder.c_str());
    m_screenshotFolder.clear();
}

void TCrashDialogPresenter::endReport()
{
    std::lock_guard lock(m_lock);
    removeScreenshot();
    if (!m_inReport)
        return; // nothing of this report used the companion: a prepared one stays
    stop(true);
    m_inReport = false;
    if (m_prepareAhead && CrashCanShowWindows())
        start(true);
}

} // namespace crashreport
