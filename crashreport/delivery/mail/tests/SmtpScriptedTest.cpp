// The SMTP dialogue against a scripted server: what a real server seldom
// does on request (wrong greetings, refusals, silence, slow multi-line
// replies) and the exact lines the client sends.

#include "CrashSocketError.h"
#include "ScriptedPeers.h"
#include "SmtpSession.h"
#include "TCrashClientSMTP.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>

using namespace crashreport;
using mailtest::ScriptedSmtpServer;

namespace {

// Replies of a willing server; a command whose start is in `overrides` gets
// that reply instead ("" stays silent).
ScriptedSmtpServer::Replier server(std::map<std::string, std::string> overrides = {})
{
    return [overrides](const std::string &line) -> std::string {
        for (const auto &[start, reply] : overrides)
            if (line.rfind(start, 0) == 0)
                return reply;
        if (line.rfind("EHLO", 0) == 0)
            return "250-mail.test\r\n250 AUTH LOGIN\r\n";
        if (line == "AUTH LOGIN" || line == "dXNlcg==")
            return "334 VXNlcm5hbWU6\r\n";
        if (line == "c2VjcmV0")
            return "235 ok\r\n";
        if (line == "DATA")
            return "354 go ahead\r\n";
        return "250 ok\r\n";
    };
}

SmtpSessionRequest request(int port)
{
    SmtpSessionRequest r;
    r.host = "127.0.0.1";
    r.port = static_cast<std::uint16_t>(port);
    r.mailFrom = "lab@vetu.example";
    r.recipient = "support@vetu.example";
    r.subject = "crash";
    r.body = "body";
    r.userName = "Ada Meter";
    r.hostName = "bench-pc";
    r.timeoutMs = 2000;
    return r;
}

std::string errorOf(const SmtpSessionRequest &r)
{
    try {
        SendMailSession(r);
    } catch (const ECrashSocketError &e) {
        return e.what();
    }
    return "(no error)";
}

TEST(SmtpScripted, DialogueWithoutLogin)
{
    ScriptedSmtpServer peer({ { 0, "220 mail.test ready\r\n" } }, server());
    SendMailSession(request(peer.port()));
    const std::string sent = peer.received();
    const std::string expectedStart = "HELO bench-pc\r\n"
                                      "RSET\r\n"
                                      "MAIL FROM:<lab@vetu.example>\r\n"
                                      "RCPT TO:<support@vetu.example>\r\n"
                                      "DATA\r\n"
                                      "Date: ";
    EXPECT_EQ(sent.substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(sent.substr(sent.size() - 5), "\r\n.\r\n");
    EXPECT_EQ(sent.find("QUIT"), std::string::npos);
    EXPECT_EQ(sent.find("AUTH"), std::string::npos);
}

TEST(SmtpScripted, DialogueWithLoginInClearWhenNoTlsIsOffered)
{
    ScriptedSmtpServer peer({ { 0, "220 mail.test ready\r\n" } }, server({ { "RCPT", "251 will forward\r\n" } }));
    SmtpSessionRequest r = request(peer.port());
    r.authenticate = true;
    r.login = "user";
    r.password = "secret";
    std::vector<SmtpStep> steps;
    r.onStep = [&](SmtpStep s) { steps.push_back(s); };
    SendMailSession(r);
    const std::string expectedStart = "EHLO bench-pc\r\n"
                                      "RSET\r\n"
                                      "AUTH LOGIN\r\n"
                                      "dXNlcg==\r\n"
                                      "c2VjcmV0\r\n"
                                      "MAIL FROM:<lab@vetu.example>\r\n"
                                      "RCPT TO:<support@vetu.example>\r\n"
                                      "DATA\r\n";
    EXPECT_EQ(peer.received().substr(0, expectedStart.size()), expectedStart);
    EXPECT_EQ(steps, (std::vector<SmtpStep> { SmtpStep::Connecting, SmtpStep::Greeting, SmtpStep::SendingMessage }));
}

TEST(SmtpScripted, RefusalsEndTheSessionWithTheLog)
{
    struct Case {
        const char *what;
        std::string greeting;
        std::map<std::string, std::string> overrides;
        std::string logEnd; // the error text (the log) ends so
    };
    const Case cases[] = {
        { "greeting 554", "554 go away\r\n", {}, "port PORT\r\n554 go away\r\n" },
        { "greeting without a code", "hello there\r\n", {}, "port PORT\r\nhello there\r\n" },
        { "HELO refused", "220 hi\r\n", { { "HELO", "501 bad\r\n" } }, "220 hi\r\nHELO bench-pc\r\n501 bad\r\n" },
        { "RCPT 550", "220 hi\r\n", { { "RCPT", "550 no such user\r\n" } },
            "RCPT TO:<support@vetu.example>\r\n550 no such user\r\n" },
        { "DATA 250 instead of 354", "220 hi\r\n", { { "DATA", "250 what\r\n" } }, "DATA\r\n250 what\r\n" },
        { "message refused", "220 hi\r\n", { { ".", "552 too big\r\n" } }, " bytes]\r\n.\r\n552 too big\r\n" },
    };
    for (const Case &c : cases) {
        ScriptedSmtpServer peer({ { 0, c.greeting } }, server(c.overrides));
        std::string logEnd = c.logEnd;
        if (const auto at = logEnd.find("PORT"); at != std::string::npos)
            logEnd.replace(at, 4, std::to_string(peer.port()));
        const std::string error = errorOf(request(peer.port()));
        EXPECT_EQ(error.rfind("Connected to 127.0.0.1 port ", 0), 0u) << c.what << ": " << error;
        ASSERT_GE(error.size(), logEnd.size()) << c.what << ": " << error;
        EXPECT_EQ(error.substr(error.size() - logEnd.size()), logEnd) << c.what;
    }
}

TEST(SmtpScripted, PasswordNeverInTheLog)
{
    ScriptedSmtpServer peer({ { 0, "220 hi\r\n" } }, server({ { "c2VjcmV0", "535 bad credentials\r\n" } }));
    SmtpSessionRequest r = request(peer.port());
    r.authenticate = true;
    r.login = "user";
    r.password = "secret";
    const std::string error = errorOf(r);
    EXPECT_NE(error.find("dXNlcg==\r\n334 VXNlcm5hbWU6\r\n********\r\n535 bad credentials\r\n"), std::string::npos)
        << error;
    EXPECT_EQ(error.find("c2VjcmV0"), std::string::npos);
}

TEST(SmtpScripted, SilentServerEndsWithinTheTimeout)
{
    // The environment's bound shortens the 30-second default.
    setenv("CRASHREPORT_MAIL_TIMEOUT_MS", "300", 1);
    struct Case {
        std::string greeting;
        std::map<std::string, std::string> overrides;
        const char *errorStart; // "" when the session goes through
    };
    const Case cases[] = {
        { "", {}, "Socket timeout.\r\nSocket log:\r\nConnected to 127.0.0.1" }, // no greeting at all
        { "220 hi\r\n", { { "RCPT", "" } }, "Socket timeout.\r\nSocket log:\r\nConnected to 127.0.0.1" },
        // A multi-line reply that never ends is judged by its first code at the time-out.
        { "220-hi\r\n", {}, "" },
        { "554-go\r\n", {}, "Connected to 127.0.0.1" },
    };
    for (const Case &c : cases) {
        ScriptedSmtpServer peer({ { 0, c.greeting } }, server(c.overrides));
        SmtpSessionRequest r = request(peer.port());
        r.timeoutMs = 30000;
        const auto start = std::chrono::steady_clock::now();
        const std::string error = errorOf(r);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(5)) << c.greeting;
        if (*c.errorStart)
            EXPECT_EQ(error.rfind(c.errorStart, 0), 0u) << error;
        else
            EXPECT_EQ(error, "(no error)");
    }
    unsetenv("CRASHREPORT_MAIL_TIMEOUT_MS");
}

TEST(SmtpScripted, ServerThatHangsUp)
{
    ScriptedSmtpServer peer({ { 0, "220 hi\r\n" } }, server({ { "RSET", "421 closing\r\n" } }));
    const std::string error = errorOf(request(peer.port()));
    EXPECT_NE(error.find("RSET\r\n421 closing\r\n"), std::string::npos) << error;
}

TEST(SmtpScripted, SlowMultiLineGreetingIsAwaited)
{
    // The server waits inside its greeting to catch clients that talk too
    // early; the client must wait for the final line.
    ScriptedSmtpServer peer({ { 0, "220-mail.test\r\n" }, { 1300, "220-busy\r\n" }, { 100, "220 ready\r\n" } }, server());
    SendMailSession(request(peer.port()));
    EXPECT_FALSE(peer.spokeEarly());
    EXPECT_EQ(peer.received().rfind("HELO bench-pc\r\n", 0), 0u);
}

TEST(SmtpScripted, ReplyEndsWithItsFinalLine)
{
    struct Case {
        std::string reply;
        bool complete;
    };
    struct Probe : TCrashClientSMTP {
        Probe() : TCrashClientSMTP("127.0.0.1", 1, 25) { }
        bool complete(const std::string &r) const { return replyComplete(r); }
    };
    const Case cases[] = {
        { "", false },
        { "220", false },
        { "220 ready", false },
        { "220 ready\r\n", true },
        { "220\r\n", true },
        { "220-a\r\n", false },
        { "220-a\r\n220-b\r\n", false },
        { "220-a\r\n220 b\r\n", true },
        { "220-a\r\n220 b", false },
        { "garbage\r\n", true },
        { "250-mail\n250 OK\n", true },
    };
    const Probe probe;
    for (const Case &c : cases)
        EXPECT_EQ(probe.complete(c.reply), c.complete) << c.reply;
    EXPECT_EQ(TCrashClientSMTP::replyCode("250-x"), 250);
    EXPECT_EQ(TCrashClientSMTP::replyCode("x250"), -1);
    EXPECT_TRUE(TCrashClientSMTP::offersExtension("250-mail.test\r\n250-starttls\r\n250 AUTH LOGIN\r\n", "STARTTLS"));
    EXPECT_FALSE(TCrashClientSMTP::offersExtension("250-mail.test STARTTLS\r\n250 STARTTLSX\r\n", "STARTTLS"));
}

} // namespace
