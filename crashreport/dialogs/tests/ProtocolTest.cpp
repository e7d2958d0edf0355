// The framing, the payloads and the channel, with broken input from the other end.
#include "DialogChannel.h"
#include "DialogCodec.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <random>
#include <thread>

using namespace crashreport;

namespace {

TCrashShowRequest sampleRequest()
{
    TCrashShowRequest r;
    r.dialogStyle = 2;
    r.exceptionClass = "EAccessViolation";
    r.exceptionMessage = "Access violation at <b>0x10</b>";
    r.reportText = std::string(5000, 'r');
    r.generalText = "General\r\n-------";
    r.callStack = {{{"0000000000401000", "vetu-config", "Main.cpp", "", "main", "12"}, 77, 1}};
    r.modules = {{{"a", "b"}, 0, 0}};
    r.dialogFlags = 0x2FF;
    r.terminateAction = 1;
    r.texts = {"Information.", "Question.", "Error."};
    r.errorCount = 4;
    r.duplicate = true;
    r.topLevelWindows = {{1, 2, 3, 4}, {5, 6, 7, 8}};
    r.mainWindowId = 0x1234567890ull;
    r.hasFocusRect = true;
    r.focusRect = {10, 20, 30, 40};
    r.cursorX = 99;
    r.cursorShape = 4;
    r.screenshotFile = "/tmp/Screenshot.png";
    r.reproduceText = "opened set 5";
    return r;
}

struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd), 0); }
    ~SocketPair()
    {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
    void write(const std::string &bytes) const { ASSERT_EQ(::write(fd[1], bytes.data(), bytes.size()), ssize_t(bytes.size())); }
    void closePeer()
    {
        ::close(fd[1]);
        fd[1] = -1;
    }
};

} // namespace

TEST(DialogCodecTest, RequestAndResultSurviveTheTrip)
{
    const TCrashShowRequest sent = sampleRequest();
    TCrashShowRequest got;
    ASSERT_TRUE(DecodeShowRequest(EncodeShowRequest(sent), got));
    EXPECT_EQ(EncodeShowRequest(got), EncodeShowRequest(sent));
    EXPECT_EQ(got.exceptionMessage, sent.exceptionMessage);
    EXPECT_EQ(got.callStack[0].cells[4], "main");
    EXPECT_EQ(got.callStack[0].threadId, 77u);
    EXPECT_EQ(got.mainWindowId, sent.mainWindowId);
    EXPECT_EQ(got.reproduceText, "opened set 5");

    TCrashShowResult result;
    result.painted = result.terminateRequested = true;
    result.emailAddress = "me@example.com";
    result.reproduceText = "opened set 5";
    result.reproduceGiven = true;
    result.warnings = {"w"};
    TCrashShowResult back;
    ASSERT_TRUE(DecodeShowResult(EncodeShowResult(result), back));
    EXPECT_EQ(EncodeShowResult(back), EncodeShowResult(result));
    EXPECT_TRUE(back.reproduceGiven);
}

TEST(DialogCodecTest, EveryTruncationAndTrailingByteIsRefused)
{
    const std::string payload = EncodeShowRequest(sampleRequest());
    TCrashShowRequest got;
    for (std::size_t n = 0; n < payload.size(); n += (n < 300 ? 1 : 97))
        EXPECT_FALSE(DecodeShowRequest(payload.substr(0, n), got)) << n;
    EXPECT_FALSE(DecodeShowRequest(payload + "x", got));
}

TEST(DialogCodecTest, GarbageNeverCrashesOrAllocatesWildly)
{
    std::mt19937 rng(3);
    TCrashShowRequest request;
    TCrashShowResult result;
    for (int i = 0; i < 2000; ++i) {
        std::string bytes(rng() % 200, '\0');
        for (char &c : bytes)
            c = static_cast<char>(rng());
        DecodeShowRequest(bytes, request);
        DecodeShowResult(bytes, result);
    }
    // A count that claims four billion rows in a few bytes is refused before anything is made.
    std::string lying = EncodeShowResult({}).substr(0, 5 + 12);
    lying += std::string("\xFF\xFF\xFF\xFF", 4);
    EXPECT_FALSE(DecodeShowResult(lying, result));
    // A flag byte other than 0 or 1 is not a flag.
    EXPECT_FALSE(DecodeShowResult(std::string(1, '\x07') + EncodeShowResult({}).substr(1), result));
}

struct BrokenFrameCase {
    const char *name;
    std::string bytes;
    bool closeAfter;
};

class BrokenFrameTest : public ::testing::TestWithParam<BrokenFrameCase> { };

// Whatever the other side sends, the reader ends with Broken (or Closed), never waits for more.
TEST_P(BrokenFrameTest, EndsCleanly)
{
    SocketPair pair;
    pair.write(GetParam().bytes);
    if (GetParam().closeAfter)
        pair.closePeer();
    TDialogChannel channel(::dup(pair.fd[0]));
    TDialogMessage message;
    EXPECT_EQ(channel.receive(message, 2000), TDialogChannel::Status::Broken) << GetParam().name;
    EXPECT_FALSE(channel.error().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BrokenFrameTest,
    ::testing::Values(BrokenFrameCase{"zero length", std::string("\0\0\0\0", 4), false},
                      BrokenFrameCase{"oversized", std::string("\x01\x00\x00\x05\x17", 5), false},
                      BrokenFrameCase{"unknown type", std::string("\x03\x00\x00\x00\x63xx", 7), false},
                      BrokenFrameCase{"truncated header", std::string("\x09\x00", 2), true},
                      BrokenFrameCase{"truncated payload", std::string("\x09\x00\x00\x00\x17zz", 7), true}),
    [](const auto &info) {
        std::string n = info.param.name;
        for (char &c : n)
            if (c == ' ')
                c = '_';
        return n;
    });

TEST(DialogChannelTest, CarriesMessagesSplitAnywhere)
{
    SocketPair pair;
    const std::string payload = EncodeShowRequest(sampleRequest());
    const std::string frames = EncodeDialogFrame(TDialogMessageType::ShowRequest, payload) +
                               EncodeDialogFrame(TDialogMessageType::Painted);
    std::thread writer([&] {
        for (char c : frames) {
            ASSERT_EQ(::write(pair.fd[1], &c, 1), 1);
        }
    });
    TDialogChannel channel(::dup(pair.fd[0]));
    TDialogMessage message;
    ASSERT_EQ(channel.receive(message, 5000), TDialogChannel::Status::Message);
    EXPECT_EQ(message.type, TDialogMessageType::ShowRequest);
    EXPECT_EQ(message.payload, payload);
    ASSERT_EQ(channel.receive(message, 5000), TDialogChannel::Status::Message);
    EXPECT_EQ(message.type, TDialogMessageType::Painted);
    writer.join();
    pair.closePeer();
    EXPECT_EQ(channel.receive(message, 5000), TDialogChannel::Status::Closed);
}

TEST(DialogChannelTest, SilentPeerTimesOutAndAPeerThatReadsNothingStopsTheWriter)
{
    SocketPair pair;
    TDialogChannel channel(::dup(pair.fd[0]));
    TDialogMessage message;
    EXPECT_EQ(channel.receive(message, 50), TDialogChannel::Status::Timeout);
    // Far more than the socket buffer holds, to a peer that never reads.
    EXPECT_FALSE(channel.send(TDialogMessageType::ShowRequest, std::string(8 << 20, 'x'), 100));
    pair.closePeer();
    EXPECT_FALSE(channel.send(TDialogMessageType::Quit));
}
