#include "WebTestServers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

namespace webtest {

namespace {

std::string Unescape(const std::string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool CanConnect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(std::uint16_t(port));
    ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

} // namespace

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary) << data;
}

std::string RandomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    std::string data(size, '\0');
    for (char &c : data)
        c = char(random());
    return data;
}

std::string RecordedRequest::field(const std::string &name) const
{
    for (const auto &[n, v] : fields)
        if (n == name)
            return v;
    return "<none>";
}

bool RecordedRequest::hasField(const std::string &name) const
{
    for (const auto &f : fields)
        if (f.first == name)
            return true;
    return false;
}

std::string RecordedRequest::page() const
{
    const std::string p = path.substr(0, path.find('?'));
    return p.substr(p.rfind('/') + 1);
}

bool WebServer::start(const std::string &outdir, const std::string &mode, std::vector<std::string> extra)
{
    m_outdir = outdir;
    std::filesystem::create_directories(outdir);
    m_port = mailtest::FreeTcpPort();
    std::vector<std::string> argv = { "/usr/bin/python3", std::string(WEB_TEST_DIR) + "/web_server.py", "--port",
                                      std::to_string(m_port), "--outdir", outdir, "--mode", mode };
    argv.insert(argv.end(), extra.begin(), extra.end());
    m_process = std::make_unique<mailtest::TestProcess>(argv);
    std::string line;
    return m_process->readLine(line, 15000) && line == "READY";
}

std::vector<RecordedRequest> WebServer::requests() const
{
    std::vector<RecordedRequest> out;
    std::istringstream in(ReadFile(m_outdir + "/requests.txt"));
    std::string line;
    RecordedRequest current;
    while (std::getline(in, line)) {
        if (line.rfind("REQUEST ", 0) == 0) {
            current = RecordedRequest();
            const std::size_t space = line.find(' ', 8);
            current.method = line.substr(8, space - 8);
            current.path = line.substr(space + 1);
        } else if (line.rfind("HEADER ", 0) == 0) {
            const std::size_t colon = line.find(": ", 7);
            std::string name = line.substr(7, colon - 7);
            for (char &c : name)
                c = char(std::tolower(static_cast<unsigned char>(c)));
            current.headers[name] = colon == std::string::npos ? "" : line.substr(colon + 2);
        } else if (line.rfind("FIELD ", 0) == 0) {
            const std::size_t equals = line.find('=', 6);
            current.fields.emplace_back(line.substr(6, equals - 6), Unescape(line.substr(equals + 1)));
        } else if (line.rfind("FILE ", 0) == 0) {
            std::istringstream parts(line.substr(5));
            RecordedFile f;
            parts >> f.field >> f.name >> f.size;
            current.files.push_back(f);
        } else if (line == "END") {
            out.push_back(current);
        }
    }
    return out;
}

std::vector<Bug> WebServer::bugs() const
{
    std::vector<Bug> out;
    std::istringstream in(ReadFile(m_outdir + "/bugs.txt"));
    std::string line;
    while (std::getline(in, line)) {
        Bug b;
        std::size_t a = line.find('|'), c = line.find('|', a + 1), d = line.rfind('|');
        b.id = std::atoi(line.substr(0, a).c_str());
        b.status = line.substr(a + 1, c - a - 1);
        b.title = line.substr(c + 1, d - c - 1);
        b.attachments = line.substr(d + 1);
        out.push_back(b);
    }
    return out;
}

std::string WebServer::receivedFile(int n, const std::string &name) const
{
    return ReadFile(m_outdir + "/files/" + std::to_string(n) + "-" + name);
}

bool FtpServer::start(const std::string &root, const std::string &user, const std::string &password)
{
    std::filesystem::create_directories(root);
    m_port = mailtest::FreeTcpPort();
    m_process = std::make_unique<mailtest::TestProcess>(std::vector<std::string> {
        "/usr/bin/python3", std::string(WEB_TEST_DIR) + "/ftp_server.py", "--port", std::to_string(m_port), "--root",
        root, "--user", user, "--password", password });
    std::string line;
    return m_process->readLine(line, 15000) && line == "READY";
}

bool Proxy::start(const std::string &folder, const std::string &user, const std::string &password)
{
    m_port = mailtest::FreeTcpPort();
    m_log = folder + "/tinyproxy.log";
    const std::string config = folder + "/tinyproxy.conf";
    std::ostringstream text;
    text << "Port " << m_port << "\nListen 127.0.0.1\nTimeout 30\nLogFile \"" << m_log << "\"\nLogLevel Info\n"
         << "MaxClients 20\nAllow 127.0.0.1\nDisableViaHeader Yes\n";
    if (::getuid() == 0)
        text << "User nobody\nGroup nogroup\n";
    if (!user.empty())
        text << "BasicAuth " << user << " " << password << "\n";
    WriteFile(config, text.str());
    std::filesystem::permissions(folder, std::filesystem::perms::all, std::filesystem::perm_options::add);
    m_process = std::make_unique<mailtest::TestProcess>(std::vector<std::string> { "/usr/bin/tinyproxy", "-d", "-c", config });
    for (int i = 0; i < 200; ++i) {
        if (CanConnect(m_port))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::string Proxy::log() const
{
    return ReadFile(m_log);
}

bool MakeCertificates(const std::string &folder)
{
    const std::string command = "sh " + std::string(MAIL_TEST_DIR) + "/make_certs.sh " + folder;
    return std::system(command.c_str()) == 0;
}

} // namespace webtest
