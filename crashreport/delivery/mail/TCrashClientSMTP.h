#pragma once
// The SMTP side of the mail socket: the greeting check, commands with their
// accepted reply codes, and the switch to TLS on STARTTLS.

#include "TCrashClientSocket.h"

#include <initializer_list>
#include <string>
#include <string_view>

namespace crashreport {

class TCrashClientSMTP : public TCrashClientSocket {
public:
    TCrashClientSMTP(std::string host, int timeoutMs, std::uint16_t port);

    // The base connect, then the server's greeting must be 220; otherwise the
    // log is the error.
    bool connect() override;
    // Waits for a reply; true when its code is one of accepted.
    bool replyCheck(std::initializer_list<int> accepted);
    // Sends text (with a line break added when missing) and checks the
    // reply; a short send or another code raises with the log as the text.
    // logAs, when given, stands for the text in the log (a password).
    bool command(std::string_view text, std::initializer_list<int> accepted, std::string_view logAs = {});
    // Sends the prepared DATA payload (reporting progress through on-sent)
    // and checks the reply; the log records its size only.
    bool sendMessage(std::string_view payload, std::initializer_list<int> accepted);

    // The last complete reply and its code (the digits at its start, -1
    // without any).
    const std::string &lastReply() const { return m_lastReply; }
    static int replyCode(std::string_view reply);
    // True when a line of an EHLO reply names the keyword (case-insensitive).
    static bool offersExtension(std::string_view ehloReply, std::string_view keyword);

protected:
    // A reply is complete with its final line: a whole line that does not
    // carry a "-" right after the code.
    bool replyComplete(std::string_view received) const override;
    bool knowsReplyEnd() const override { return true; }

private:
    bool checkAccepted(std::initializer_list<int> accepted);
    std::string m_lastReply;
};

} // namespace crashreport
