#pragma once
// The loopback servers of the web delivery tests (web_server.py, ftp_server.py, tinyproxy),
// started and stopped by the tests, and what they recorded.

#include "CrashTempFolder.h"
#include "TestProcess.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace webtest {

struct RecordedFile {
    std::string field;
    std::string name;
    std::size_t size = 0;
};

struct RecordedRequest {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers; // lower-case names
    std::vector<std::pair<std::string, std::string>> fields;
    std::vector<RecordedFile> files;

    // The value of the first field of that name, or "<none>".
    std::string field(const std::string &name) const;
    bool hasField(const std::string &name) const;
    std::string page() const; // the path's last part without the query
};

struct Bug {
    int id = 0;
    std::string status;
    std::string title;
    std::string attachments;
};

class WebServer {
public:
    // mode: upload, mantis, bugzilla, fogbugz or hostile; extra arguments follow.
    bool start(const std::string &outdir, const std::string &mode, std::vector<std::string> extra = {});
    int port() const { return m_port; }
    std::vector<RecordedRequest> requests() const;
    std::vector<Bug> bugs() const;
    // The bytes of the n-th file received (from 1).
    std::string receivedFile(int n, const std::string &name) const;
    void stop() { m_process.reset(); }

private:
    std::unique_ptr<mailtest::TestProcess> m_process;
    std::string m_outdir;
    int m_port = 0;
};

class FtpServer {
public:
    bool start(const std::string &root, const std::string &user, const std::string &password);
    int port() const { return m_port; }

private:
    std::unique_ptr<mailtest::TestProcess> m_process;
    int m_port = 0;
};

class Proxy {
public:
    // With a login when user is not empty.
    bool start(const std::string &folder, const std::string &user = {}, const std::string &password = {});
    int port() const { return m_port; }
    // The proxy's log: one "Request (file descriptor N): <request line>" per request it handled.
    std::string log() const;

private:
    std::unique_ptr<mailtest::TestProcess> m_process;
    std::string m_log;
    int m_port = 0;
};

// ca.pem, stranger-ca.pem, server.pem/.key (for 127.0.0.1) and other.pem/.key (other.test).
bool MakeCertificates(const std::string &folder);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &data);
std::string RandomBytes(std::size_t size, unsigned seed);

} // namespace webtest
