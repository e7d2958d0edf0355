// Whole sessions against a real SMTP server (aiosmtpd) on loopback, started
// and stopped by each test: the message read back from the server, AUTH
// LOGIN in clear, and STARTTLS with a certificate authority made here.

#include "Base64.h"
#include "CrashSocketError.h"
#include "CrashTempFolder.h"
#include "SmtpSession.h"
#include "TestProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>

using namespace crashreport;
using crashreport::testing::CrashTempFolder;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary) << data;
}

class SmtpServerTest : public ::testing::Test {
protected:
    // Starts the server; false when it did not come up within seconds.
    bool startServer(std::vector<std::string> extra = {})
    {
        port = mailtest::FreeTcpPort();
        std::vector<std::string> argv = { "/usr/bin/python3", std::string(MAIL_TEST_DIR) + "/smtp_server.py",
            "--port", std::to_string(port), "--outdir", outdir() };
        argv.insert(argv.end(), extra.begin(), extra.end());
        server = std::make_unique<mailtest::TestProcess>(argv);
        std::string line;
        return server->readLine(line, 10000) && line == "READY";
    }
    bool makeCertificates()
    {
        const std::string command = "sh " + std::string(MAIL_TEST_DIR) + "/make_certs.sh " + dir.path();
        return std::system(command.c_str()) == 0;
    }
    std::string outdir()
    {
        const std::string path = dir.file("out");
        std::filesystem::create_directories(path);
        return path;
    }
    SmtpSessionRequest request()
    {
        SmtpSessionRequest r;
        r.host = "127.0.0.1";
        r.port = static_cast<std::uint16_t>(port);
        r.mailFrom = "lab@vetu.example";
        r.recipient = "support@vetu.example";
        r.subject = "Vetu crash report";
        r.body = "The program stopped.\r\n.\r\n..two dots\r\nend";
        r.userName = "Ada Meter";
        r.hostName = "bench-pc";
        r.timeoutMs = 5000;
        return r;
    }
    std::string sessionError(const SmtpSessionRequest &r)
    {
        try {
            SendMailSession(r);
        } catch (const ECrashSocketError &e) {
            return e.what();
        }
        return "";
    }

    CrashTempFolder dir { "mail-smtp" };
    int port = 0;
    std::unique_ptr<mailtest::TestProcess> server;
};

TEST_F(SmtpServerTest, MessageReadBackFromTheServer)
{
    ASSERT_TRUE(startServer());
    std::string archive(300000, '\0');
    std::mt19937 random(7);
    for (char &c : archive)
        c = static_cast<char>(random());
    writeFile(dir.file("BugReport.zip"), archive);
    writeFile(dir.file("shot.png"), "\x89PNG");
    SmtpSessionRequest r = request();
    r.attachments = { { dir.file("BugReport.zip"), "BugReport.zip" }, { dir.file("missing.txt"), "missing.txt" },
        { dir.file("shot.png"), "Screenshot.PNG" } };
    // Progress of every text sent; the message's own ends at its full size.
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    r.onSent = [&](std::size_t sent, std::size_t all) { progress.emplace_back(sent, all); };
    ASSERT_EQ(sessionError(r), "");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().first, progress.back().second);
    EXPECT_GT(progress.back().second, 400000u);
    EXPECT_GT(std::count_if(progress.begin(), progress.end(),
                  [&](const auto &p) { return p.second == progress.back().second; }),
        390);

    const std::string mail = readFile(outdir() + "/1.eml");
    const std::string envelope = readFile(outdir() + "/1.env");
    EXPECT_EQ(envelope, "lab@vetu.example\nsupport@vetu.example\n\n");
    EXPECT_EQ(mail.rfind("Date: ", 0), 0u);
    for (const char *header : { "\r\nFrom: \"Ada Meter\" <lab@vetu.example>\r\n", "\r\nSubject: Vetu crash report\r\n",
             "\r\nTo: <support@vetu.example>\r\nContent-Type: multipart/mixed; "
             "boundary=\"=_xcjvnxkbhvfkxzhfdbvzldjhfv\";\r\nMIME-Version: 1.0\r\nMessage-ID: <" })
        EXPECT_NE(mail.find(header), std::string::npos) << header;
    // Dot transparency undone by the server: the body arrives as written.
    EXPECT_NE(mail.find("\r\n\r\nThe program stopped.\r\n.\r\n..two dots\r\nend\r\n--=_"), std::string::npos);
    EXPECT_EQ(mail.find("missing.txt"), std::string::npos);
    EXPECT_NE(mail.find("Content-Type: image/png;\r\n        name=\"Screenshot.PNG\"\r\n"), std::string::npos);

    // The archive, decoded from its 80-character lines, is byte-identical.
    const std::string head = "filename=\"BugReport.zip\"\r\n\r\n";
    const std::size_t start = mail.find(head) + head.size();
    const std::size_t end = mail.find("\r\n\r\n", start);
    ASSERT_NE(end, std::string::npos);
    std::string encoded;
    std::istringstream lines(mail.substr(start, end - start));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        EXPECT_LE(line.size(), 80u);
        encoded += line;
    }
    EXPECT_EQ(Base64DecodeText(encoded), archive);
    EXPECT_EQ(mail.substr(mail.size() - 34), "--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n");
}

TEST_F(SmtpServerTest, LoginInClearWhenTheServerOffersNoTls)
{
    ASSERT_TRUE(startServer()); // auth_require_tls off, no certificate: no STARTTLS
    SmtpSessionRequest r = request();
    r.authenticate = true;
    r.login = "user";
    r.password = "secret";
    ASSERT_EQ(sessionError(r), "");
    EXPECT_EQ(readFile(outdir() + "/auth.log"), "LOGIN ok\n");
    EXPECT_EQ(readFile(outdir() + "/1.env"), "lab@vetu.example\nsupport@vetu.example\nuser\n");

    r.password = "wrong";
    const std::string error = sessionError(r);
    EXPECT_NE(error.find("AUTH LOGIN\r\n334 "), std::string::npos) << error;
    EXPECT_NE(error.find("********\r\n535 "), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(outdir() + "/2.eml"));
}

TEST_F(SmtpServerTest, StartTlsWithVerifiedCertificate)
{
    ASSERT_TRUE(makeCertificates());
    ASSERT_TRUE(startServer({ "--cert", dir.file("server.pem"), "--key", dir.file("server.key"),
        "--auth-require-tls" }));
    SmtpSessionRequest r = request();
    r.authenticate = true;
    r.login = "user";
    r.password = "secret";
    r.caFile = dir.file("ca.pem");
    ASSERT_EQ(sessionError(r), "");
    EXPECT_EQ(readFile(outdir() + "/auth.log"), "LOGIN ok\n");
    EXPECT_NE(readFile(outdir() + "/1.eml").find("The program stopped."), std::string::npos);
}

TEST_F(SmtpServerTest, StartTlsRefusesAServerItCannotTrust)
{
    ASSERT_TRUE(makeCertificates());
    struct Case {
        const char *what;
        const char *cert;
        const char *ca;
        const char *reason;
    };
    const Case cases[] = {
        { "certificate of another authority", "server", "stranger-ca.pem", "certificate verification failed" },
        { "certificate of another name", "other", "ca.pem", "certificate verification failed" },
        { "no authority file", "server", "none.pem", "cannot load the certificate authorities" },
    };
    for (const Case &c : cases) {
        // No clear-text fall-back: the server must never see AUTH or a message.
        ASSERT_TRUE(startServer({ "--cert", dir.file(std::string(c.cert) + ".pem"), "--key",
            dir.file(std::string(c.cert) + ".key") }));
        SmtpSessionRequest r = request();
        r.authenticate = true;
        r.login = "user";
        r.password = "secret";
        r.caFile = dir.file(c.ca);
        const std::string error = sessionError(r);
        EXPECT_EQ(error.rfind(std::string("Secure connection error: \"") + c.reason, 0), 0u) << c.what << ": " << error;
        EXPECT_NE(error.find("STARTTLS\r\n220 "), std::string::npos) << c.what;
        server.reset();
        EXPECT_FALSE(std::filesystem::exists(outdir() + "/auth.log")) << c.what;
        EXPECT_FALSE(std::filesystem::exists(outdir() + "/1.eml")) << c.what;
    }
}

} // namespace
