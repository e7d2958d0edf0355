// The send flow as the report sequence reaches it: linked like a program does (the flow installs
// itself), a report made through CallCrashReport is logged and then mailed to a loopback server,
// its send events run, and the temporary folder is left empty.

#include "CrashCapture.h"
#include "CrashModuleOptionsEx.h"
#include "CrashSendStep.h"
#include "CrashTempFolder.h"
#include "TestProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using namespace crashreport;
using crashreport::testing::CrashTempFolder;

namespace
{

class ActionRecorder final : public TCrashReportListener
{
public:
    void exceptionActionNotify(const TCrashEventRecord &record, int action, bool &) override
    {
        actions.push_back(action);
        className = record.className;
    }
    std::vector<int> actions;
    std::string className;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SendSequence, ReportIsLoggedThenMailed)
{
    ASSERT_NE(CrashReportSender(), nullptr) << "linking crashreport_send installs the flow";
    ASSERT_TRUE(CrashReportActive());
    CrashTempFolder dir("send-sequence");
    fs::create_directories(dir.file("tmp"));
    fs::create_directories(dir.file("mail"));
    setenv("TMPDIR", dir.file("tmp").c_str(), 1);

    const int port = mailtest::FreeTcpPort();
    mailtest::TestProcess server({ "/usr/bin/python3", std::string(MAIL_TEST_DIR) + "/smtp_server.py",
        "--host", "127.0.0.1", "--port", std::to_string(port), "--outdir", dir.file("mail") });
    std::string line;
    ASSERT_TRUE(server.readLine(line, 10000) && line == "READY");

    TCrashModuleOptionsEx &o = CrashCurrentOptions();
    o.setDialogStyle(0); // nobody to ask: the report is sent
    o.setKeepLogFile(1);
    o.setOutputFolder(dir.path());
    o.setMailMode(2);
    o.setMailHost("127.0.0.1");
    o.setMailPort(static_cast<std::uint16_t>(port));
    o.setMailAddresses("support@alpha.test");
    o.setMailSubject("Sequence");
    o.setSendFlags(0);
    ActionRecorder listener;
    CrashAddListener(&listener);
    CallCrashReport("EVetuSendProbe", "sent from the report sequence", "");
    CrashRemoveListener(&listener);
    o.setMailMode(0);

    const std::string mail = readFile(dir.file("mail/1.eml"));
    EXPECT_NE(mail.find("\r\nSubject: Sequence\r\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("filename=\"BugReport.zip\""), std::string::npos);
    EXPECT_EQ(listener.actions, (std::vector<int> { 2, 3, 4, 5 }));
    EXPECT_EQ(listener.className, "EVetuSendProbe");
    bool logged = false;
    for (const auto &entry : fs::recursive_directory_iterator(dir.path()))
        logged = logged || entry.path().extension() == ".crashlog";
    EXPECT_TRUE(logged);
    EXPECT_TRUE(fs::is_empty(dir.file("tmp")));
    unsetenv("TMPDIR");
}

} // namespace
