// MailMode 1: the user's mail client through xdg-email, and the mailto: link through xdg-open
// when that fails. Both tools are recording scripts on PATH (and nothing else is).

#include "SendFlowFixture.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace crashreport;
using namespace sendtest;

namespace
{

class MailClientTest : public SendFlowTest
{
protected:
    void SetUp() override
    {
        SendFlowTest::SetUp();
        m_tools = m_dir.file("bin");
        fs::create_directories(m_tools);
        m_oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
        setenv("PATH", m_tools.c_str(), 1);
        m_oldCache = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
        setenv("XDG_CACHE_HOME", m_dir.file("cache").c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", m_oldPath.c_str(), 1);
        setenv("XDG_CACHE_HOME", m_oldCache.c_str(), 1);
        SendFlowTest::TearDown();
    }

    // A tool that writes each argument on a line of its own into <name>.args, copies the file
    // after "--attach" to attached.zip, and ends with exitCode.
    void tool(const std::string &name, int exitCode)
    {
        const std::string path = m_tools + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n"
                               "attach=0\n"
                               "for a in \"$@\"; do\n"
                               "  printf '%s\\n' \"$a\" >> '"
                + m_dir.file(name + ".args")
                + "'\n"
                  "  if [ $attach = 1 ]; then /bin/cat \"$a\" > '"
                + m_dir.file("attached.zip")
                + "'; fi\n"
                  "  if [ \"$a\" = --attach ]; then attach=1; else attach=0; fi\n"
                  "done\n"
                  "exit "
                + std::to_string(exitCode) + "\n";
        chmod(path.c_str(), 0755);
    }
    std::string args(const std::string &name) { return readFile(m_dir.file(name + ".args")); }

    TCrashModuleOptions clientOptions()
    {
        TCrashModuleOptions o = options(1, 0);
        o.setMailAddresses("support@alpha.test; lab@beta.test");
        o.setMailSubject("Vetu:\r\n\terror report");
        o.setMailMessage("Hello & bye");
        return o;
    }

    std::string m_tools;
    std::string m_oldPath;
    std::string m_oldCache;
};

TEST_F(MailClientTest, ComposesWithTheArchiveAttached)
{
    tool("xdg-email", 0);
    tool("xdg-open", 0);
    TCrashSendFlow flow(&m_warnings);
    EXPECT_TRUE(flow.send(clientOptions(), request()).sent);
    // The client reads the attachment when the user presses Send, after the flow has ended: it
    // gets a copy that outlives the temporary folder.
    const std::string kept = m_dir.file("cache") + "/CrashReport/mail/BugReport.zip";
    const std::string expected = "--utf8\n--subject\nVetu: error report\n--body\nHello & bye\n--attach\n"
        + kept + "\nsupport@alpha.test\nlab@beta.test\n";
    EXPECT_EQ(args("xdg-email"), expected);
    EXPECT_EQ(readFile(m_dir.file("attached.zip")).compare(0, 4, "PK\x03\x04"), 0);
    EXPECT_EQ(readFile(kept), readFile(m_dir.file("attached.zip")));
    EXPECT_FALSE(fs::exists(m_dir.file("xdg-open.args")));
    EXPECT_TRUE(m_warnings.items.empty());
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(MailClientTest, NoUsableClientFallsBackToTheMailtoLink)
{
    tool("xdg-email", 3);
    tool("xdg-open", 0);
    TCrashSendFlow flow(&m_warnings);
    const TCrashSendRequest r = request();
    EXPECT_TRUE(flow.send(clientOptions(), r).sent);
    EXPECT_EQ(args("xdg-open"),
        "mailto:support@alpha.test,lab@beta.test?Subject=Vetu%3A%0D%0A%09error%20report&Body=Hello%20%26%"
        "20bye"
        "%0D%0A%0D%0A%0D%0A1%2E%20General%0D%0A1%2E1%20Application%3A%20vetu-config%0D%0A%2E%0D%0A%2E%2Edot"
        "%20line%0D%0A\n");
    EXPECT_EQ(m_warnings.items,
        (std::vector<std::pair<std::string, std::string>> {
            { "eeEmailMAPIError", "Cannot send the MAPI message." } }));
}

TEST_F(MailClientTest, FailuresOfBothToolsFailTheStep)
{
    // Neither tool exists.
    TCrashSendFlow flow(&m_warnings);
    m_listener.events.clear();
    EXPECT_FALSE(flow.send(clientOptions(), request()).sent);
    ASSERT_EQ(m_warnings.items.size(), 2u);
    EXPECT_EQ(m_warnings.items[0],
        (std::pair<std::string, std::string> { "eeEmailMAPIError", "Cannot open the MAPI dll." }));
    EXPECT_EQ(m_warnings.items[1].first, "eeEmailShellError");
    EXPECT_EQ(m_warnings.items[1].second, "No such file or directory");
    EXPECT_EQ(m_listener.events, (std::vector<std::string> { "files", "action 4", "error 5", "action 5" }));

    // xdg-open runs but cannot open the link: a failure, not a success.
    tool("xdg-email", 3);
    tool("xdg-open", 4);
    m_warnings.items.clear();
    EXPECT_FALSE(flow.send(clientOptions(), request()).sent);
    ASSERT_EQ(m_warnings.items.size(), 2u);
    EXPECT_EQ(m_warnings.items[1].first, "eeEmailShellError");
    EXPECT_TRUE(leftInTemp().empty());
}

} // namespace
