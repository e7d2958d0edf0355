#pragma once
// A server process started by a test: killed (and reaped) when the object
// goes, also when the test fails; killed with the test process too.

#include <string>
#include <vector>

namespace mailtest {

class TestProcess {
public:
    explicit TestProcess(const std::vector<std::string> &argv);
    ~TestProcess();
    TestProcess(const TestProcess &) = delete;
    TestProcess &operator=(const TestProcess &) = delete;

    bool started() const { return m_pid > 0; }
    // The next line of the process's standard output, within timeoutMs.
    bool readLine(std::string &line, int timeoutMs);
    void stop();

private:
    int m_pid = -1;
    int m_out = -1;
    std::string m_buffer;
};

// A port on 127.0.0.1 that nothing listens on right now.
int FreeTcpPort(const char *address = "127.0.0.1");
int FreeUdpPort(const char *address = "127.0.0.1");

} // namespace mailtest
