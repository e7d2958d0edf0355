// Plays a companion that breaks the conversation in the way its first argument names, after
// reading the request: garbage, truncated, oversized, silent, dies, painted-then-dies, or
// well-behaved (answers Painted and a result with the send box cleared).
#include "DialogChannel.h"
#include "DialogCodec.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

using namespace crashreport;

int main(int argc, char **argv)
{
    (void)argc;
    (void)argv;
    const char *env = std::getenv("BAD_MODE");
    const std::string mode = env ? env : "";
    TDialogChannel channel(3);
    TDialogMessage request;
    if (channel.receive(request, 5000) != TDialogChannel::Status::Message)
        return 2;
    auto raw = [&](const std::string &bytes) { (void)::send(3, bytes.data(), bytes.size(), MSG_NOSIGNAL); };
    if (mode == "garbage") {
        raw("\x05\x00\x00\x00\xEEjunk and more junk");
    } else if (mode == "truncated") {
        raw(EncodeDialogFrame(TDialogMessageType::ShowResult, EncodeShowResult({})).substr(0, 7));
        return 0;
    } else if (mode == "oversized") {
        raw(std::string("\xFF\xFF\xFF\x7F\x17", 5));
    } else if (mode == "malformed") {
        channel.send(TDialogMessageType::ShowResult, "\x01\x02");
    } else if (mode == "dies") {
        return 3;
    } else if (mode == "painted-then-dies") {
        channel.send(TDialogMessageType::Painted);
        return 3;
    } else if (mode == "ok") {
        channel.send(TDialogMessageType::Painted);
        TDialogAction action{8, true};
        channel.send(TDialogMessageType::ActionNotify, EncodeAction(action));
        TDialogMessage answer;
        if (channel.receive(answer, 5000) != TDialogChannel::Status::Message)
            return 4;
        bool flag = true;
        DecodeFlag(answer.payload, flag);
        TCrashShowResult result;
        result.painted = true;
        result.terminateRequested = flag;
        result.reproduceText = "steps";
        channel.send(TDialogMessageType::ShowResult, EncodeShowResult(result));
        TDialogMessage quit;
        channel.receive(quit, 5000);
        return 0;
    }
    // silent, and every mode that keeps the connection open: wait to be ended
    TDialogMessage ignored;
    while (channel.receive(ignored, 60000) == TDialogChannel::Status::Message) {
    }
    return 0;
}
