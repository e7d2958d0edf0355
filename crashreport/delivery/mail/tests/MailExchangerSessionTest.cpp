// Delivery straight to each recipient's mail exchanger: the exchangers of
// two domains come from a real DNS server (dnsmasq), and each recipient's
// session goes to its own SMTP server (aiosmtpd on 127.0.0.2 and 127.0.0.3).

#include "CrashSocketError.h"
#include "CrashTempFolder.h"
#include "MxLookup.h"
#include "SmtpSession.h"
#include "TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace crashreport;
using crashreport::testing::CrashTempFolder;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(MailExchangerSession, TwoRecipientsInTwoDomains)
{
    CrashTempFolder dir("mail-mx");
    const int dnsPort = mailtest::FreeUdpPort();
    mailtest::TestProcess dnsmasq({ "/usr/sbin/dnsmasq", "--keep-in-foreground", "--no-resolv", "--no-hosts",
        "--no-poll", "--conf-file=/dev/null", "--pid-file", "--port=" + std::to_string(dnsPort),
        "--listen-address=127.0.0.1", "--bind-interfaces", "--log-facility=/dev/null",
        "--mx-host=alpha.test,127.0.0.2,10", "--mx-host=beta.test,127.0.0.3,10" });

    // One mail port on both exchangers, as the options give one port for all.
    const int smtpPort = mailtest::FreeTcpPort("127.0.0.2");
    std::unique_ptr<mailtest::TestProcess> servers[2];
    const char *hosts[2] = { "127.0.0.2", "127.0.0.3" };
    for (int i = 0; i < 2; ++i) {
        const std::string out = dir.file(hosts[i]);
        std::filesystem::create_directories(out);
        servers[i] = std::make_unique<mailtest::TestProcess>(std::vector<std::string> { "/usr/bin/python3",
            std::string(MAIL_TEST_DIR) + "/smtp_server.py", "--host", hosts[i], "--port", std::to_string(smtpPort),
            "--outdir", out });
        std::string line;
        ASSERT_TRUE(servers[i]->readLine(line, 10000) && line == "READY") << hosts[i];
    }

    const std::vector<DnsServer> dns = { { "127.0.0.1", static_cast<std::uint16_t>(dnsPort) } };
    // dnsmasq is ready once it answers.
    std::string first;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (first.empty() && std::chrono::steady_clock::now() < until) {
        try {
            first = LookUpMailExchanger("support@alpha.test", 150, dns);
        } catch (const ECrashSocketError &) {
        }
    }
    ASSERT_EQ(first, "127.0.0.2");

    for (const char *recipient : { "support@alpha.test", "lab@beta.test" }) {
        SmtpSessionRequest r;
        r.host = LookUpMailExchanger(recipient, 2000, dns);
        r.port = static_cast<std::uint16_t>(smtpPort);
        r.mailFrom = "vetu@vetu.example";
        r.recipient = recipient;
        r.subject = "crash";
        r.body = "report";
        r.userName = "Vetu";
        r.hostName = "bench-pc";
        r.timeoutMs = 5000;
        SendMailSession(r);
    }
    EXPECT_EQ(readFile(dir.file("127.0.0.2/1.env")), "vetu@vetu.example\nsupport@alpha.test\n\n");
    EXPECT_EQ(readFile(dir.file("127.0.0.3/1.env")), "vetu@vetu.example\nlab@beta.test\n\n");
    EXPECT_NE(readFile(dir.file("127.0.0.3/1.eml")).find("\r\nTo: <lab@beta.test>\r\n"), std::string::npos);
}

} // namespace
