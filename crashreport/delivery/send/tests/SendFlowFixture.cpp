#include "SendFlowFixture.h"

#include "Base64.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace crashreport;

namespace sendtest
{

void RecordingPresenter::progressOpen(bool foreground)
{
    {
        std::lock_guard guard(lock);
        calls.push_back(std::string("open ") + (foreground ? "1" : "0"));
    }
    if (onOpen)
        onOpen();
}

void RecordingPresenter::progressUpdate(const std::string &label, int position, int maximum)
{
    std::lock_guard guard(lock);
    if (calls.empty() || calls.back() != "label " + label)
        calls.push_back("label " + label);
    if (maximum == 100 && position > 0)
        calls.push_back("bar " + std::to_string(position));
    if (archiveWhileSending.empty() && label.find("Sending message...") != std::string::npos) {
        std::error_code ec;
        for (const auto &entry : fs::directory_iterator(fs::temp_directory_path(ec), ec))
            if (fs::exists(entry.path() / "BugReport.zip"))
                archiveWhileSending = readFile((entry.path() / "BugReport.zip").string());
    }
}

void RecordingPresenter::progressClose()
{
    std::lock_guard guard(lock);
    calls.push_back("close");
}

void RecordingPresenter::messageBox(const std::string &caption, const std::string &text, int icon)
{
    std::lock_guard guard(lock);
    boxes.push_back({ caption, text, icon });
}

bool RecordingPresenter::copyToClipboard(const std::string &text)
{
    std::lock_guard guard(lock);
    clipboard = text;
    return true;
}

void RecordingListener::exceptionActionNotify(const TCrashEventRecord &, int action, bool &flag)
{
    if (action < 4 || action > 7)
        return;
    events.push_back("action " + std::to_string(action));
    if (action == cancelAction)
        flag = false;
}

void RecordingListener::exceptionErrorNotify(const TCrashEventRecord &, int code, bool &retry)
{
    events.push_back("error " + std::to_string(code));
    if (onError)
        onError();
    if (retries > 0) {
        --retries;
        retry = true;
    }
}

void RecordingListener::attachedFilesRequest(const TCrashEventRecord &, std::vector<std::string> &files)
{
    events.push_back("files");
    files.insert(files.end(), extraFiles.begin(), extraFiles.end());
}

void RecordingListener::customWebFieldsRequest(
    const TCrashEventRecord &, std::vector<std::pair<std::string, std::string>> &fields)
{
    events.push_back("fields");
    fields.push_back({ "Station", "Pegel 7" });
}

std::unique_ptr<mailtest::TestProcess> startSmtpServer(
    const std::string &host, int port, const std::string &outdir, const std::string &login)
{
    fs::create_directories(outdir);
    auto server = std::make_unique<mailtest::TestProcess>(
        std::vector<std::string> { "/usr/bin/python3", std::string(MAIL_TEST_DIR) + "/smtp_server.py",
            "--host", host, "--port", std::to_string(port), "--outdir", outdir, "--login", login });
    std::string line;
    if (!server->readLine(line, 10000) || line != "READY")
        return nullptr;
    return server;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string attachmentOf(const std::string &mail, const std::string &name)
{
    const std::string marker = "filename=\"" + name + "\"\r\n\r\n";
    const std::size_t start = mail.find(marker);
    if (start == std::string::npos)
        return {};
    const std::size_t from = start + marker.size();
    const std::size_t end = mail.find("\r\n--", from);
    std::string encoded;
    for (std::size_t i = from; i < end && i < mail.size(); ++i)
        if (mail[i] != '\r' && mail[i] != '\n')
            encoded += mail[i];
    return Base64DecodeText(encoded);
}

void SendFlowTest::SetUp()
{
    ASSERT_FALSE(m_dir.path().empty());
    fs::create_directories(m_dir.file("tmp"));
    fs::create_directories(m_dir.file("log"));
    if (const char *old = std::getenv("TMPDIR")) {
        m_hadTmp = true;
        m_oldTmp = old;
    }
    setenv("TMPDIR", m_dir.file("tmp").c_str(), 1);
    setenv("CRASHREPORT_MAIL_TIMEOUT_MS", "3000", 1);
    CrashSetReportPresenter(&m_presenter);
    CrashAddListener(&m_listener);
}

void SendFlowTest::TearDown()
{
    CrashRemoveListener(&m_listener);
    CrashSetReportPresenter(nullptr);
    CrashSetWebStep(nullptr);
    unsetenv("CRASHREPORT_MAIL_TIMEOUT_MS");
    unsetenv("CRASHREPORT_DNS_SERVERS");
    if (m_hadTmp)
        setenv("TMPDIR", m_oldTmp.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TCrashModuleOptions SendFlowTest::options(int mailMode, int webMode) const
{
    TCrashModuleOptions o;
    o.setMailMode(static_cast<std::uint8_t>(mailMode));
    o.setWebMode(static_cast<std::uint8_t>(webMode));
    o.setMailAddresses("support@alpha.test");
    o.setMailFrom("vetu@vetu.example");
    o.setMailSubject("Vetu: error report");
    o.setMailMessage("Hello support.");
    o.setSendFlags(0);
    o.setBehaviour(0);
    o.setRepeatAction(0);
    return o;
}

TCrashSendRequest SendFlowTest::request() const
{
    TCrashSendRequest r;
    r.reportText = "1. General\r\n1.1 Application: vetu-config\r\n.\r\n..dot line\r\n";
    r.logFileName = m_dir.file("log/vetu-config.crashlog");
    r.record.className = "EConvertError";
    r.record.message = "'x' is not a valid number";
    r.record.address = 0x1234;
    r.bugId = "1A2B3C4D";
    r.exceptionTime = 1765353600;
    r.dialogStyle = 2;
    r.sendRequested = true;
    r.canShowWindows = true;
    r.xmlReports = { r.reportText };
    return r;
}

std::vector<std::string> SendFlowTest::leftInTemp() const
{
    std::vector<std::string> left;
    std::error_code ec;
    for (const auto &entry : fs::recursive_directory_iterator(m_dir.file("tmp"), ec))
        left.push_back(entry.path().string());
    return left;
}

std::vector<std::string> SendFlowTest::warningCodes()
{
    std::lock_guard guard(m_warnings.lock);
    std::vector<std::string> codes;
    for (const auto &w : m_warnings.items)
        codes.push_back(w.first);
    return codes;
}

} // namespace sendtest
