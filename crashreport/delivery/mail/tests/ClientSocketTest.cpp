// The socket's own contract: connect and its log, error texts, quiet
// errors, the on-error and on-sent notifications, time-outs.

#include "CrashSocketError.h"
#include "ScriptedPeers.h"
#include "TCrashClientSocket.h"
#include "TestProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using namespace crashreport;
using mailtest::ScriptedSmtpServer;

namespace {

ScriptedSmtpServer::Replier echo()
{
    return [](const std::string &line) { return "echo " + line + "\r\n"; };
}

TEST(ClientSocket, ConnectLogsThePeer)
{
    ScriptedSmtpServer server({ { 0, "hello\r\n" } }, echo());
    TCrashClientSocket socket("127.0.0.1", 2000, true, static_cast<std::uint16_t>(server.port()));
    socket.setSilenceMs(100);
    EXPECT_FALSE(socket.isConnected());
    EXPECT_EQ(socket.log(), "");
    ASSERT_TRUE(socket.connect());
    EXPECT_EQ(socket.log(), "Connected to 127.0.0.1 port " + std::to_string(server.port()) + "\r\n");
    EXPECT_EQ(socket.peerAddress(), 0x7F000001u);
    std::string reply;
    ASSERT_TRUE(socket.waitForReply(reply));
    EXPECT_EQ(reply, "hello\r\n");
    EXPECT_EQ(socket.log(), "Connected to 127.0.0.1 port " + std::to_string(server.port()) + "\r\nhello\r\n");
    socket.disconnect();
    EXPECT_FALSE(socket.isConnected());
    EXPECT_EQ(socket.handle(), -1);
    EXPECT_EQ(socket.log(), "");
}

TEST(ClientSocket, ConnectErrors)
{
    struct Case {
        const char *host;
        int port;
        const char *start;
    };
    const int closedPort = mailtest::FreeTcpPort();
    const Case cases[] = {
        { "127.0.0.1", closedPort, "Connection error: \"Connection refused\"" },
        // A name that does not resolve is an error, not a connection to 0.0.0.0 (this machine).
        { "no-such-host.invalid", 25, "Connection error: \"no-such-host.invalid: " },
    };
    for (const Case &c : cases) {
        TCrashClientSocket socket(c.host, 2000, true, static_cast<std::uint16_t>(c.port));
        try {
            socket.connect();
            ADD_FAILURE() << c.host << " connected";
        } catch (const ECrashSocketError &e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.start, 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find("\r\nSocket log:\r\n"), std::string::npos);
        }
        EXPECT_FALSE(socket.isConnected());
    }
}

TEST(ClientSocket, QuietErrorsCallOnErrorAndRaiseNothing)
{
    TCrashClientSocket socket("127.0.0.1", 2000, true, static_cast<std::uint16_t>(mailtest::FreeTcpPort()));
    socket.setQuietErrors(true);
    std::vector<std::pair<int, std::string>> errors;
    socket.setOnError([&](TCrashClientSocket &sender, int code, const std::string &message) {
        EXPECT_EQ(&sender, &socket);
        errors.emplace_back(code, message);
    });
    EXPECT_FALSE(socket.connect());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].first, -1);
    EXPECT_EQ(errors[0].second, "Connection error: \"Connection refused\"\r\nSocket log:\r\n");
    EXPECT_EQ(socket.send("x", 1), 0); // not connected
    char buffer[4];
    EXPECT_EQ(socket.receive(buffer, 4), 0);
}

TEST(ClientSocket, ErrorAppendsTheLogUnlessItIsTheLog)
{
    ScriptedSmtpServer server({ { 0, "220 hi\r\n" } }, echo());
    TCrashClientSocket socket("127.0.0.1", 2000, true, static_cast<std::uint16_t>(server.port()));
    socket.setSilenceMs(100);
    socket.connect();
    std::string reply;
    socket.waitForReply(reply);
    const std::string log = socket.log();
    try {
        socket.error("Bad thing.");
        ADD_FAILURE();
    } catch (const ECrashSocketError &e) {
        EXPECT_EQ(std::string(e.what()), "Bad thing.\r\nSocket log:\r\n" + log);
    }
    try {
        socket.error(log);
        ADD_FAILURE();
    } catch (const ECrashSocketError &e) {
        EXPECT_EQ(std::string(e.what()), log);
    }
}

TEST(ClientSocket, SendTextInPiecesWithProgress)
{
    ScriptedSmtpServer server({}, echo());
    TCrashClientSocket socket("127.0.0.1", 2000, true, static_cast<std::uint16_t>(server.port()));
    socket.setSilenceMs(100);
    ASSERT_TRUE(socket.connect());
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    socket.setOnSent([&](TCrashClientSocket &, std::size_t sent, std::size_t total) {
        progress.emplace_back(sent, total);
    });
    const std::string text = std::string(2500, 'x') + "\r\n";
    EXPECT_EQ(socket.sendText(text), text.size());
    const std::vector<std::pair<std::size_t, std::size_t>> expected
        = { { 1024, 2502 }, { 2048, 2502 }, { 2502, 2502 } };
    EXPECT_EQ(progress, expected);
    std::string reply;
    ASSERT_TRUE(socket.waitForReply(reply));
    EXPECT_EQ(reply, "echo " + std::string(2500, 'x') + "\r\n");
    EXPECT_EQ(socket.receive(nullptr, -1), 0); // nothing more waiting
}

TEST(ClientSocket, SilentPeerTimesOut)
{
    ScriptedSmtpServer server({}, [](const std::string &) { return std::string(); });
    TCrashClientSocket socket("127.0.0.1", 300, true, static_cast<std::uint16_t>(server.port()));
    ASSERT_TRUE(socket.connect());
    std::string data;
    EXPECT_FALSE(socket.waitForData(data));
    EXPECT_EQ(data, "");
    try {
        socket.waitForReply(data);
        ADD_FAILURE();
    } catch (const ECrashSocketError &e) {
        EXPECT_EQ(std::string(e.what()).rfind("Socket timeout.\r\nSocket log:\r\nConnected to 127.0.0.1", 0), 0u);
    }
    EXPECT_GE(socket.waitedTime(), std::chrono::milliseconds(550));
}

TEST(ClientSocket, ReadAvailableCollectsUntilSilence)
{
    // Two pieces 100 ms apart make one read; the silence after them ends it.
    ScriptedSmtpServer server({ { 0, "one " }, { 100, "two\r\n" } }, echo());
    TCrashClientSocket socket("127.0.0.1", 2000, true, static_cast<std::uint16_t>(server.port()));
    socket.setSilenceMs(300);
    ASSERT_TRUE(socket.connect());
    std::string data;
    ASSERT_TRUE(socket.waitForData(data));
    EXPECT_EQ(data, "one two\r\n");
}

} // namespace
