#include "TCrashClientSMTP.h"

#include <algorithm>

namespace crashreport {

TCrashClientSMTP::TCrashClientSMTP(std::string host, int timeoutMs, std::uint16_t port)
    : TCrashClientSocket(std::move(host), timeoutMs, true, port)
{
}

bool TCrashClientSMTP::connect()
{
    if (!TCrashClientSocket::connect())
        return false;
    if (!waitForReply(m_lastReply))
        return false;
    if (replyCode(m_lastReply) != 220) {
        error(log());
        return false;
    }
    return true;
}

int TCrashClientSMTP::replyCode(std::string_view reply)
{
    int code = 0;
    std::size_t i = 0;
    for (; i < reply.size() && i < 9 && reply[i] >= '0' && reply[i] <= '9'; ++i)
        code = code * 10 + (reply[i] - '0');
    return i == 0 ? -1 : code;
}

bool TCrashClientSMTP::replyComplete(std::string_view received) const
{
    std::size_t start = 0;
    while (true) {
        const std::size_t end = received.find('\n', start);
        if (end == std::string_view::npos)
            return false;
        const std::string_view line = received.substr(start, end - start);
        const bool continuation = line.size() >= 4 && line[3] == '-' && std::all_of(line.begin(), line.begin() + 3,
            [](char c) { return c >= '0' && c <= '9'; });
        if (!continuation)
            return true;
        start = end + 1;
    }
}

bool TCrashClientSMTP::offersExtension(std::string_view ehloReply, std::string_view keyword)
{
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    std::size_t start = 0;
    while (start < ehloReply.size()) {
        std::size_t end = ehloReply.find('\n', start);
        if (end == std::string_view::npos)
            end = ehloReply.size();
        std::string_view line = ehloReply.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = end + 1;
        if (line.size() < 4)
            continue;
        line.remove_prefix(4);
        const std::size_t word = std::min(line.find(' '), line.size());
        const std::string_view name = line.substr(0, word);
        if (name.size() == keyword.size()
            && std::equal(name.begin(), name.end(), keyword.begin(),
                [&](char a, char b) { return upper(a) == upper(b); }))
            return true;
    }
    return false;
}

bool TCrashClientSMTP::checkAccepted(std::initializer_list<int> accepted)
{
    const int code = replyCode(m_lastReply);
    return std::find(accepted.begin(), accepted.end(), code) != accepted.end();
}

bool TCrashClientSMTP::replyCheck(std::initializer_list<int> accepted)
{
    if (!waitForReply(m_lastReply))
        return false;
    return checkAccepted(accepted);
}

bool TCrashClientSMTP::command(std::string_view text, std::initializer_list<int> accepted, std::string_view logAs)
{
    std::string line(text);
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0)
        line += "\r\n";
    const std::size_t sent = sendText(line);
    if (!isConnected())
        return false;
    bool ok = false;
    if (sent == line.size()) {
        if (logAs.empty())
            appendLog(line);
        else
            appendLog(std::string(logAs) + "\r\n");
        ok = replyCheck(accepted);
        if (!isConnected())
            return false;
    }
    if (!ok) {
        error(log());
        return false;
    }
    return true;
}

bool TCrashClientSMTP::sendMessage(std::string_view payload, std::initializer_list<int> accepted)
{
    const std::size_t sent = sendText(payload);
    if (!isConnected())
        return false;
    bool ok = false;
    if (sent == payload.size()) {
        // A megabyte of base64 would bury the dialogue in the error text.
        appendLog("[message of " + std::to_string(payload.size()) + " bytes]\r\n.\r\n");
        ok = replyCheck(accepted);
        if (!isConnected())
            return false;
    }
    if (!ok) {
        error(log());
        return false;
    }
    return true;
}

} // namespace crashreport
