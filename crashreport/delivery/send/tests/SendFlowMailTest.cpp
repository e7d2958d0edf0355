// The send flow by mail against real servers on loopback: one whole session read back, delivery
// to the exchangers of two domains, a retry asked for by a listener, a failing channel that keeps
// its archives, a user who refused, and sending in the background.

#include "SendFlowFixture.h"

#include "CrashInternal.h"
#include "CrashSocketError.h"
#include "MxLookup.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace crashreport;
using namespace sendtest;

namespace
{

bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

TEST_F(SendFlowTest, OneSessionReadBackWithTheArchiveByteForByte)
{
    const int port = mailtest::FreeTcpPort();
    auto server = startSmtpServer("127.0.0.1", port, m_dir.file("mail"));
    ASSERT_TRUE(server);
    std::ofstream(m_dir.file("notes.txt"), std::ios::binary) << std::string("notes\0\x01\xff", 8);

    TCrashModuleOptions o = options(2, 0);
    o.setMailHost("127.0.0.1");
    o.setMailPort(static_cast<std::uint16_t>(port));
    o.setMailUser("user");
    o.setMailPassword("secret");
    o.setAppendLogs(1);
    o.setSendFlags(0x001 | 0x002 | 0x008);
    o.setAttachedFiles(m_dir.file("notes.txt") + "; " + m_dir.file("missing.txt"));
    TCrashSendFlow flow(&m_warnings);
    const TCrashSendRequest r = request();
    const TCrashSendOutcome outcome = flow.send(o, r);

    EXPECT_TRUE(outcome.attempted);
    EXPECT_TRUE(outcome.sent);
    EXPECT_FALSE(outcome.detached);
    EXPECT_EQ(readFile(m_dir.file("mail/1.env")), "vetu@vetu.example\nsupport@alpha.test\nuser\n");
    const std::string mail = readFile(m_dir.file("mail/1.eml"));
    EXPECT_TRUE(contains(mail, "\r\nSubject: Vetu: error report\r\n")) << mail;
    EXPECT_TRUE(contains(mail, "\r\nTo: <support@alpha.test>\r\n")) << mail;
    // The report travels in the body (AppendLogs), its lone dot and leading dots unchanged.
    EXPECT_TRUE(contains(mail, "Hello support.\r\n\r\n\r\n" + r.reportText)) << mail;

    const std::string archive = attachmentOf(mail, "BugReport.zip");
    ASSERT_FALSE(m_presenter.archiveWhileSending.empty());
    EXPECT_EQ(archive, m_presenter.archiveWhileSending);
    EXPECT_EQ(archive.compare(0, 4, "PK\x03\x04"), 0);
    EXPECT_TRUE(contains(archive, "notes.txt"));
    EXPECT_TRUE(contains(archive, "vetu-config.xml"));
    EXPECT_FALSE(contains(archive, "vetu-config.crashlog")); // in the body instead
    EXPECT_FALSE(contains(archive, "missing.txt"));

    const std::vector<std::string> expectedCalls { "open 1",
        "label Message 1/1: ", "label Message 1/1: Connecting with server...",
        "label Message 1/1: Connected with server.", "label Message 1/1: Sending message..." };
    ASSERT_GE(m_presenter.calls.size(), expectedCalls.size() + 2);
    EXPECT_EQ(
        std::vector<std::string>(m_presenter.calls.begin(), m_presenter.calls.begin() + 5), expectedCalls);
    EXPECT_EQ(m_presenter.calls[m_presenter.calls.size() - 2], "bar 100");
    EXPECT_EQ(m_presenter.calls.back(), "close");
    ASSERT_EQ(m_presenter.boxes.size(), 1u);
    EXPECT_EQ(m_presenter.boxes[0].caption, "Information.");
    EXPECT_EQ(m_presenter.boxes[0].text, "The message was sent successfully.");
    EXPECT_EQ(m_presenter.boxes[0].icon, 0);
    EXPECT_EQ(m_listener.events, (std::vector<std::string> { "files", "action 4", "action 5" }));
    EXPECT_TRUE(m_warnings.items.empty());
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(SendFlowTest, ExchangersOfTwoDomainsAndSuccessWhenOneOfThemTakesIt)
{
    const int dnsPort = mailtest::FreeUdpPort();
    mailtest::TestProcess dnsmasq({ "/usr/sbin/dnsmasq", "--keep-in-foreground", "--no-resolv", "--no-hosts",
        "--no-poll", "--conf-file=/dev/null", "--pid-file", "--port=" + std::to_string(dnsPort),
        "--listen-address=127.0.0.1", "--bind-interfaces", "--log-facility=/dev/null",
        "--mx-host=alpha.test,127.0.0.2,10", "--mx-host=beta.test,127.0.0.3,10" });
    const int port = mailtest::FreeTcpPort("127.0.0.2");
    auto alpha = startSmtpServer("127.0.0.2", port, m_dir.file("alpha"));
    auto beta = startSmtpServer("127.0.0.3", port, m_dir.file("beta"));
    ASSERT_TRUE(alpha && beta);
    const std::string servers = "127.0.0.1:" + std::to_string(dnsPort);
    setenv("CRASHREPORT_DNS_SERVERS", servers.c_str(), 1);
    std::string first;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (first.empty() && std::chrono::steady_clock::now() < until) {
        try {
            first = LookUpMailExchanger("x@alpha.test", 150);
        } catch (const ECrashSocketError &) {
        }
    }
    ASSERT_EQ(first, "127.0.0.2");

    TCrashModuleOptions o = options(3, 0);
    o.setMailAddresses("support@alpha.test, ;lab@beta.test");
    o.setMailPort(static_cast<std::uint16_t>(port));
    o.setSendFlags(0x001);
    TCrashSendFlow flow(&m_warnings);
    EXPECT_TRUE(flow.send(o, request()).sent);
    EXPECT_EQ(readFile(m_dir.file("alpha/1.env")), "vetu@vetu.example\nsupport@alpha.test\n\n");
    EXPECT_EQ(readFile(m_dir.file("beta/1.env")), "vetu@vetu.example\nlab@beta.test\n\n");
    EXPECT_TRUE(contains(readFile(m_dir.file("beta/1.eml")), "\r\nTo: <lab@beta.test>\r\n"));
    const auto &calls = m_presenter.calls;
    EXPECT_NE(std::find(calls.begin(), calls.end(), "label Message 1/2: Resolving DNS..."), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "label Message 2/2: Resolving DNS..."), calls.end());

    // One exchanger gone: the other still takes the report, and the failure is shown.
    beta->stop();
    m_presenter.boxes.clear();
    EXPECT_TRUE(flow.send(o, request()).sent);
    EXPECT_TRUE(fs::exists(m_dir.file("alpha/2.eml")));
    EXPECT_EQ(warningCodes(), (std::vector<std::string> { "eeEmailSMTPError" }));
    ASSERT_EQ(m_presenter.boxes.size(), 1u);
    EXPECT_EQ(m_presenter.boxes[0].caption, "Error.");
    EXPECT_EQ(m_presenter.boxes[0].icon, 1);
    EXPECT_EQ(m_presenter.boxes[0].text.rfind("[SMTP] ", 0), 0u) << m_presenter.boxes[0].text;
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(SendFlowTest, ListenerRetryRepeatsTheStepOnce)
{
    const int port = mailtest::FreeTcpPort();
    std::unique_ptr<mailtest::TestProcess> server;
    // The server comes up only after the first attempt failed; the listener asks for one retry.
    m_listener.retries = 1;
    m_listener.onError = [&] {
        if (!server)
            server = startSmtpServer("127.0.0.1", port, m_dir.file("mail"));
    };
    TCrashModuleOptions o = options(2, 0);
    o.setMailHost("127.0.0.1");
    o.setMailPort(static_cast<std::uint16_t>(port));
    TCrashSendFlow flow(&m_warnings);
    EXPECT_TRUE(flow.send(o, request()).sent);
    EXPECT_EQ(m_listener.events, (std::vector<std::string> { "files", "action 4", "error 5", "action 5" }));
    EXPECT_EQ(warningCodes(), (std::vector<std::string> { "eeEmailSMTPError" }));
    EXPECT_TRUE(fs::exists(m_dir.file("mail/1.eml")));
    EXPECT_FALSE(fs::exists(m_dir.file("mail/2.eml")));
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(SendFlowTest, FailingChannelKeepsTheTenLastArchivesBesideTheLog)
{
    const int port = mailtest::FreeTcpPort(); // nothing listens
    TCrashModuleOptions o = options(2, 0);
    o.setMailHost("127.0.0.1");
    o.setMailPort(static_cast<std::uint16_t>(port));
    o.setSendFlags(0x002 | 0x100);
    o.setBehaviour(0x10 | 0x20);
    std::ofstream(m_dir.file("log/vetu-config.crashlog")) << "log";
    TCrashSendFlow flow(&m_warnings);
    TCrashSendRequest r = request();
    for (int i = 0; i < 12; ++i) {
        r.exceptionTime = 1765353600 + 60 * i;
        const TCrashSendOutcome outcome = flow.send(o, r);
        EXPECT_TRUE(outcome.attempted);
        EXPECT_FALSE(outcome.sent);
        EXPECT_TRUE(leftInTemp().empty()) << i;
    }
    std::vector<std::string> zips;
    for (const auto &entry : fs::directory_iterator(m_dir.file("log")))
        if (entry.path().extension() == ".zip")
            zips.push_back(entry.path().filename().string());
    std::sort(zips.begin(), zips.end());
    ASSERT_EQ(zips.size(), 10u);
    std::vector<std::string> expected;
    for (int i = 2; i < 12; ++i) {
        const std::time_t t = 1765353600 + 60 * i;
        std::tm local {};
        localtime_r(&t, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
        expected.push_back(std::string("BugReport__") + stamp + ".zip");
    }
    EXPECT_EQ(zips, expected);
    EXPECT_TRUE(fs::exists(m_dir.file("log/vetu-config.crashlog")));
    EXPECT_EQ(m_presenter.clipboard, r.reportText);
    ASSERT_EQ(m_presenter.boxes.size(), 12u);
    EXPECT_EQ(m_presenter.boxes.back().text, "Sorry, sending the message didn't work.");
    EXPECT_EQ(m_presenter.boxes.back().icon, 1);
}

TEST_F(SendFlowTest, NothingIsSentOrLeftWhenTheReportIsNotToBeSent)
{
    const struct {
        const char *name;
        int dialogStyle;
        bool sendRequested;
        bool duplicate;
        int mailMode;
        bool attempted;
    } cases[] = {
        { "user refused", 2, false, false, 2, false },
        { "duplicate", 2, true, true, 2, false },
        { "no send mode", 2, true, false, 0, false },
        { "no dialog to ask", 0, false, false, 2, true },
    };
    const int port = mailtest::FreeTcpPort(); // nothing listens
    for (const auto &c : cases) {
        m_listener.events.clear();
        TCrashModuleOptions o = options(c.mailMode, 0);
        o.setMailHost("127.0.0.1");
        o.setMailPort(static_cast<std::uint16_t>(port));
        o.setSendFlags(0x002 | 0x008);
        TCrashSendRequest r = request();
        r.dialogStyle = c.dialogStyle;
        r.sendRequested = c.sendRequested;
        r.duplicate = c.duplicate;
        TCrashSendFlow flow(&m_warnings);
        EXPECT_EQ(flow.send(o, r).attempted, c.attempted) << c.name;
        EXPECT_EQ(!m_listener.events.empty(), c.attempted) << c.name;
        EXPECT_TRUE(leftInTemp().empty()) << c.name;
    }
}

TEST_F(SendFlowTest, ClearedHandledFlagCancelsTheMailStep)
{
    const int port = mailtest::FreeTcpPort();
    auto server = startSmtpServer("127.0.0.1", port, m_dir.file("mail"));
    ASSERT_TRUE(server);
    m_listener.cancelAction = 4;
    TCrashModuleOptions o = options(2, 0);
    o.setMailHost("127.0.0.1");
    o.setMailPort(static_cast<std::uint16_t>(port));
    TCrashSendFlow flow(&m_warnings);
    EXPECT_FALSE(flow.send(o, request()).sent);
    EXPECT_EQ(m_listener.events, (std::vector<std::string> { "files", "action 4" }));
    EXPECT_FALSE(fs::exists(m_dir.file("mail/1.eml")));
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(SendFlowTest, BackgroundThreadHoldsTheHandlingLockWhileSending)
{
    const int port = mailtest::FreeTcpPort();
    auto server = startSmtpServer("127.0.0.1", port, m_dir.file("mail"));
    ASSERT_TRUE(server);
    std::atomic<int> lockFree { -1 };
    m_presenter.onOpen = [&] {
        std::thread([&] {
            std::unique_lock probe(CrashGlobals().handlingLock, std::try_to_lock);
            lockFree = probe.owns_lock() ? 1 : 0;
        }).join();
    };
    TCrashModuleOptions o = options(2, 0);
    o.setMailHost("127.0.0.1");
    o.setMailPort(static_cast<std::uint16_t>(port));
    o.setSendFlags(0x001 | 0x080);
    TCrashSendRequest r = request();
    r.onWorkerThread = true;
    TCrashSendFlow flow(&m_warnings);
    const TCrashSendOutcome outcome = flow.send(o, r);
    EXPECT_TRUE(outcome.detached);
    ASSERT_TRUE(CrashWaitForSendThreads(20000));
    EXPECT_EQ(lockFree.load(), 0);
    EXPECT_TRUE(fs::exists(m_dir.file("mail/1.eml")));
    ASSERT_FALSE(m_presenter.calls.empty());
    EXPECT_EQ(m_presenter.calls.front(), "open 0"); // in the background: not kept in front
    EXPECT_TRUE(leftInTemp().empty());
    std::unique_lock after(CrashGlobals().handlingLock, std::try_to_lock);
    EXPECT_TRUE(after.owns_lock());
}

TEST_F(SendFlowTest, AfterSendStepsEndOrRestartOnRepeatedCrashes)
{
    const std::vector<std::string> full { "2026-12-10 08:00:00", "2026-12-10 08:00:20",
        "2026-12-10 08:00:40" };
    const struct {
        int repeatAction;
        std::vector<std::string> list;
        TCrashEndAction asked;
        TCrashEndAction result;
    } cases[] = {
        { 2, full, EndContinue, EndRestart },
        { 1, full, EndContinue, EndTerminate },
        { 0, full, EndContinue, EndContinue },
        { 2, { full[0], full[1] }, EndContinue, EndContinue },
        { 2, { full[0], full[1] }, EndTerminate, EndTerminate },
        { 1, full, EndRestart, EndTerminate },
    };
    for (const auto &c : cases) {
        TCrashModuleOptions o = options(0, 0);
        o.setRepeatAction(static_cast<std::uint8_t>(c.repeatAction));
        o.setRepeatLimit(3);
        o.setRepeatMinutes(1);
        TCrashSendRequest r = request();
        r.repeatList = c.list;
        r.endAction = c.asked;
        TCrashSendFlow flow(&m_warnings);
        const TCrashSendOutcome outcome = flow.send(o, r);
        EXPECT_FALSE(outcome.attempted);
        EXPECT_EQ(outcome.endAction, c.result) << c.repeatAction << " " << c.list.size() << " " << c.asked;
    }
}

} // namespace
