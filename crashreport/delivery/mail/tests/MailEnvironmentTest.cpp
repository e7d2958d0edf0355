// Name servers from resolv.conf and the environment, and the time-out bound.

#include "MailEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace crashreport;

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old, m_had = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char *m_name;
    std::string m_old;
    bool m_had = false;
};

TEST(MailEnvironment, ResolvConfServersInOrder)
{
    const std::string text = "# comment\n"
                             "search example.com\n"
                             "nameserver 192.0.2.1\n"
                             "nameserver\t0.0.0.0\n"
                             "nameserver 2001:db8::1\n"
                             "  nameserver 192.0.2.7 # trailing\r\n"
                             "nameserver not-an-address\n"
                             "nameserver 198.51.100.3";
    const std::vector<DnsServer> expected = { { "192.0.2.1", 53 }, { "192.0.2.7", 53 }, { "198.51.100.3", 53 } };
    EXPECT_EQ(ParseResolvConf(text), expected);
    EXPECT_TRUE(ParseResolvConf("").empty());
}

TEST(MailEnvironment, ServerListOfTheEnvironment)
{
    const std::vector<DnsServer> expected = { { "127.0.0.1", 5353 }, { "127.0.0.2", 53 }, { "10.0.0.1", 1 } };
    EXPECT_EQ(ParseDnsServerList("127.0.0.1:5353, 127.0.0.2 10.0.0.1:1,bad:1,127.0.0.3:0,127.0.0.4:70000,"
                                 "127.0.0.5:x"),
        expected);

    {
        ScopedEnv env("CRASHREPORT_DNS_SERVERS", "127.0.0.9:5300");
        EXPECT_EQ(MailDnsServers(), (std::vector<DnsServer> { { "127.0.0.9", 5300 } }));
    }
    {
        ScopedEnv env("CRASHREPORT_DNS_SERVERS", "");
        EXPECT_TRUE(MailDnsServers().empty());
    }
    {
        ScopedEnv env("CRASHREPORT_DNS_SERVERS", nullptr);
        const std::vector<DnsServer> servers = MailDnsServers();
        ASSERT_FALSE(servers.empty());
        EXPECT_EQ(servers.back(), (DnsServer { std::string(PublicDnsServer), 53 }));
    }
}

TEST(MailEnvironment, TimeoutBound)
{
    {
        ScopedEnv env("CRASHREPORT_MAIL_TIMEOUT_MS", nullptr);
        EXPECT_EQ(MailTimeout(30000), 30000);
    }
    const std::pair<const char *, int> cases[] = { { "250", 250 }, { "90000", 30000 }, { "0", 30000 },
        { "-5", 30000 }, { "12x", 30000 }, { "", 30000 } };
    for (const auto &[value, expected] : cases) {
        ScopedEnv env("CRASHREPORT_MAIL_TIMEOUT_MS", value);
        EXPECT_EQ(MailTimeout(30000), expected) << value;
    }
}

} // namespace
