#pragma once
// Small servers of the tests' own, for answers that a real server would
// never give: a TCP server that replies to each SMTP line as a script says,
// and a UDP responder that answers each DNS question with crafted packets.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace mailtest {

class ScriptedSmtpServer {
public:
    struct Chunk {
        int pauseMs;
        std::string text;
    };
    // The reply to one command line (without its line break), or "" to stay
    // silent; the line "." ends a message sent after DATA.
    using Replier = std::function<std::string(const std::string &line)>;

    ScriptedSmtpServer(std::vector<Chunk> greeting, Replier replier);
    ~ScriptedSmtpServer();

    int port() const { return m_port; }
    // Everything the client sent, and whether any of it came while the
    // greeting was still being sent.
    std::string received();
    bool spokeEarly() const { return m_early; }

private:
    void run();
    int m_listen = -1;
    int m_port = -1;
    std::vector<Chunk> m_greeting;
    Replier m_replier;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_early { false };
    std::mutex m_mutex;
    std::string m_received;
    std::thread m_thread;
};

class UdpResponder {
public:
    // The packets to send back for one received query.
    using Answerer = std::function<std::vector<std::string>(const std::string &query)>;
    explicit UdpResponder(Answerer answerer);
    ~UdpResponder();
    int port() const { return m_port; }
    int queries() const { return m_queries; }

private:
    void run();
    int m_fd = -1;
    int m_port = -1;
    Answerer m_answerer;
    std::atomic<bool> m_stop { false };
    std::atomic<int> m_queries { 0 };
    std::thread m_thread;
};

} // namespace mailtest
