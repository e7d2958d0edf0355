// The mail-exchanger look-up against a real DNS server (dnsmasq) and against
// a responder of our own that sends hostile answers.

#include "CrashSocketError.h"
#include "DnsMessage.h"
#include "MxLookup.h"
#include "ScriptedPeers.h"
#include "TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>

using namespace crashreport;
using mailtest::UdpResponder;

namespace {

using Clock = std::chrono::steady_clock;

std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}
std::string u16(int v) { return bytes({ (v >> 8) & 0xFF, v & 0xFF }); }

std::string lookupError(const std::string &recipient, int timeoutMs, const std::vector<DnsServer> &servers)
{
    try {
        return "found " + LookUpMailExchanger(recipient, timeoutMs, servers);
    } catch (const ECrashSocketError &e) {
        return e.what();
    }
}

class DnsmasqTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = mailtest::FreeUdpPort();
        dnsmasq = std::make_unique<mailtest::TestProcess>(std::vector<std::string> { "/usr/sbin/dnsmasq",
            "--keep-in-foreground", "--no-resolv", "--no-hosts", "--no-poll", "--conf-file=/dev/null", "--pid-file",
            "--port=" + std::to_string(port), "--listen-address=127.0.0.1", "--bind-interfaces",
            "--log-facility=/dev/null", "--mx-host=alpha.test,127.0.0.2,10", "--mx-host=beta.test,127.0.0.3,20" });
        // Ready once it answers.
        const auto until = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < until) {
            try {
                LookUpMailExchanger("a@alpha.test", 150, servers());
                return;
            } catch (const ECrashSocketError &) {
            }
        }
        FAIL() << "dnsmasq did not answer";
    }
    std::vector<DnsServer> servers() const { return { { "127.0.0.1", static_cast<std::uint16_t>(port) } }; }

    int port = 0;
    std::unique_ptr<mailtest::TestProcess> dnsmasq;
};

TEST_F(DnsmasqTest, ExchangersOfTwoDomains)
{
    EXPECT_EQ(LookUpMailExchanger("support@alpha.test", 2000, servers()), "127.0.0.2");
    EXPECT_EQ(LookUpMailExchanger("lab@Beta.Test", 2000, servers()), "127.0.0.3");
}

TEST_F(DnsmasqTest, UnknownDomainIsTheMxError)
{
    const auto start = Clock::now();
    EXPECT_EQ(lookupError("someone@gamma.test", 2000, servers()), "Cannot resolve the \"gamma.test\" MX record.");
    // A refusal ends each try at once; no try waits for its time-out.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
}

TEST_F(DnsmasqTest, ServersAskedInOrderUntilOneAnswers)
{
    // A silent server (a responder that says nothing) first, then dnsmasq.
    UdpResponder silent([](const std::string &) { return std::vector<std::string>(); });
    const std::vector<DnsServer> list = { { "127.0.0.1", static_cast<std::uint16_t>(silent.port()) }, servers()[0] };
    EXPECT_EQ(LookUpMailExchanger("x@beta.test", 150, list), "127.0.0.3");
    EXPECT_EQ(silent.queries(), 3); // three tries at the first server
}

TEST_F(DnsmasqTest, EnvironmentNamesTheServers)
{
    const std::string list = "127.0.0.1:" + std::to_string(port);
    setenv("CRASHREPORT_DNS_SERVERS", list.c_str(), 1);
    setenv("CRASHREPORT_MAIL_TIMEOUT_MS", "300", 1);
    EXPECT_EQ(LookUpMailExchanger("support@alpha.test", 30000), "127.0.0.2");
    const auto start = Clock::now();
    setenv("CRASHREPORT_DNS_SERVERS", "", 1);
    EXPECT_THROW(LookUpMailExchanger("support@alpha.test", 30000), ECrashSocketError);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    unsetenv("CRASHREPORT_DNS_SERVERS");
    unsetenv("CRASHREPORT_MAIL_TIMEOUT_MS");
}

TEST(MxLookup, TryTimeoutSchedule)
{
    EXPECT_EQ(MxTryTimeout(30000, 0), 10050);
    EXPECT_EQ(MxTryTimeout(30000, 1), 10150);
    EXPECT_EQ(MxTryTimeout(30000, 2), 10250);
    EXPECT_EQ(MxTryTimeout(300, 0), 150);
}

TEST(MxLookup, NoServersOrNoDomain)
{
    EXPECT_EQ(lookupError("a@vetu.example", 300, {}), "Cannot resolve the \"vetu.example\" MX record.");
    UdpResponder responder([](const std::string &) { return std::vector<std::string>(); });
    const std::vector<DnsServer> list = { { "127.0.0.1", static_cast<std::uint16_t>(responder.port()) } };
    EXPECT_EQ(lookupError("a@", 300, list), "Cannot resolve the \"\" MX record.");
    EXPECT_EQ(lookupError("a@bad..name", 300, list), "Cannot resolve the \"bad..name\" MX record.");
    EXPECT_EQ(responder.queries(), 0);
}

// The answer to a query, with a header of the given identifier and the
// given records after the echoed question.
std::string reply(const std::string &query, int answers, const std::string &records, int id = 0x4141)
{
    return u16(id) + u16(0x8180) + u16(1) + u16(answers) + u16(0) + u16(0) + query.substr(12) + records;
}

std::string mx(const std::string &name)
{
    const std::string data = u16(10) + name;
    return bytes({ 0xC0, 12 }) + u16(15) + u16(1) + u16(0) + u16(60) + u16(int(data.size())) + data;
}

TEST(MxLookup, HostileAnswersGiveTheMxError)
{
    const std::string good = bytes({ 2, 'm', 'x', 4, 'v', 'e', 't', 'u', 0 });
    struct Case {
        const char *what;
        std::function<std::vector<std::string>(const std::string &)> answer;
    };
    const int nameAt = 12 + 18 + 12 + 2; // header, question of "vetu.test", record head, preference
    const Case cases[] = {
        { "compression loop", [&](const std::string &q) { return std::vector { reply(q, 1, mx(bytes({ 0xC0, nameAt }))) }; } },
        { "pointer outside the packet", [&](const std::string &q) { return std::vector { reply(q, 1, mx(bytes({ 0xC3, 0x50 }))) }; } },
        { "truncated record", [&](const std::string &q) { return std::vector { reply(q, 1, mx(good)).substr(0, 40) }; } },
        { "record count beyond the packet", [&](const std::string &q) {
             const std::string cname = bytes({ 0xC0, 12 }) + u16(5) + u16(1) + u16(0) + u16(60) + u16(2) + bytes({ 0xC0, 12 });
             return std::vector { reply(q, 9, cname) };
         } },
        { "wrong identifier", [&](const std::string &q) { return std::vector { reply(q, 1, mx(good), 0x1234) }; } },
        { "another question", [&](const std::string &q) {
             std::string other = q;
             other[13] = 'X';
             return std::vector { reply(other, 1, mx(good)) };
         } },
        { "garbage", [&](const std::string &) { return std::vector<std::string> { "\xff\xff", std::string(600, '\xc0') }; } },
    };
    for (const Case &c : cases) {
        UdpResponder responder(c.answer);
        const std::vector<DnsServer> list = { { "127.0.0.1", static_cast<std::uint16_t>(responder.port()) } };
        const auto start = Clock::now();
        EXPECT_EQ(lookupError("support@vetu.test", 150, list), "Cannot resolve the \"vetu.test\" MX record.")
            << c.what;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << c.what;
        EXPECT_EQ(responder.queries(), 3) << c.what;
    }
}

TEST(MxLookup, StrayPacketIgnoredAndTheRealAnswerTaken)
{
    // A packet with another identifier arrives first; the honest answer after it counts.
    UdpResponder responder([](const std::string &q) {
        return std::vector { reply(q, 1, mx(bytes({ 4, 'e', 'v', 'i', 'l', 0 })), 0x0001),
            reply(q, 1, mx(bytes({ 2, 'm', 'x', 0xC0, 12 }))) };
    });
    const std::vector<DnsServer> list = { { "127.0.0.1", static_cast<std::uint16_t>(responder.port()) } };
    EXPECT_EQ(LookUpMailExchanger("support@vetu.test", 2000, list), "mx.vetu.test");
    EXPECT_EQ(responder.queries(), 1);
}

} // namespace
