// The plain upload through the web step against real servers on loopback: HTTP, HTTPS with a
// certificate authority made here, FTP, a proxy, basic authorisation, and refusals.

#include "CrashDefaultWebStep.h"
#include "CrashModuleOptions.h"
#include "WebTestServers.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace crashreport;
using crashreport::testing::CrashTempFolder;
using namespace webtest;

namespace {

class RecordedProgress : public TCrashWebProgress {
public:
    void update(const std::string &label, int position, int maximum) override
    {
        labels.push_back(label);
        positions.push_back(position);
        EXPECT_EQ(maximum, 100);
    }
    bool showed(const std::string &label) const
    {
        return std::find(labels.begin(), labels.end(), label) != labels.end();
    }
    std::vector<std::string> labels;
    std::vector<int> positions;
};

class WebUploadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        archive = RandomBytes(300000, 11);
        WriteFile(dir.file("BugReport.zip"), archive);
        WriteFile(dir.file("vetu-config.crashlog"), "Report\r\n\r\n\r\n");
        request.options = &options;
        request.packageFiles = { dir.file("BugReport.zip"), dir.file("vetu-config.crashlog") };
        request.customFields = { { "product", "Vetu config" }, { "user", "ada" } };
    }
    TCrashWebStepResult send() { return CrashDefaultWebStep().send(request, progress); }

    CrashTempFolder dir { "web-upload" };
    std::string archive;
    TCrashModuleOptions options;
    TCrashWebStepRequest request;
    RecordedProgress progress;
};

} // namespace

TEST_F(WebUploadTest, HttpUploadArrivesByteIdenticalWithTheFields)
{
    WebServer server;
    ASSERT_TRUE(server.start(dir.file("out"), "upload"));
    options.setWebMode(1);
    options.setWebAddress("127.0.0.1:" + std::to_string(server.port()) + "/cgi/upload.py?from=vetu");
    const TCrashWebStepResult result = send();
    EXPECT_TRUE(result.sent) << result.warningText;
    EXPECT_EQ(result.trackerCode, -1);
    EXPECT_TRUE(result.warningCode.empty());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest &r = requests[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/cgi/upload.py?from=vetu");
    EXPECT_EQ(r.headers.at("user-agent"), "CrashReport");
    EXPECT_EQ(r.headers.count("expect"), 0u);
    EXPECT_EQ(r.headers.count("authorization"), 0u);
    EXPECT_EQ(r.field("product"), "Vetu config");
    EXPECT_EQ(r.field("user"), "ada");
    ASSERT_EQ(r.files.size(), 2u);
    EXPECT_EQ(r.files[0].field, "cr_upload_file_1");
    EXPECT_EQ(r.files[0].name, "BugReport.zip");
    EXPECT_EQ(r.files[1].field, "cr_upload_file_2");
    EXPECT_EQ(r.files[1].name, "vetu-config.crashlog");
    EXPECT_TRUE(server.receivedFile(1, "BugReport.zip") == archive);
    EXPECT_EQ(server.receivedFile(2, "vetu-config.crashlog"), "Report\r\n\r\n\r\n");
    // Connecting, sending with the bar moving from 25 up to 100, sent, disconnected.
    EXPECT_TRUE(progress.showed("Connecting with server..."));
    EXPECT_TRUE(progress.showed("Sending message..."));
    EXPECT_TRUE(progress.showed("Message sent."));
    EXPECT_EQ(progress.labels.back(), "Disconnected.");
    EXPECT_TRUE(std::is_sorted(progress.positions.begin(), progress.positions.end()));
    EXPECT_EQ(progress.positions.back(), 100);
    EXPECT_GT(std::count(progress.labels.begin(), progress.labels.end(), "Sending message..."), 100);
}

TEST_F(WebUploadTest, BasicAuthorisationFromTheOptionsOrTheAddress)
{
    WebServer server;
    ASSERT_TRUE(server.start(dir.file("out"), "upload", { "--basic", "ada:s3cret pw" }));
    const std::string base = "127.0.0.1:" + std::to_string(server.port()) + "/up";
    options.setWebMode(1);

    options.setWebAddress("http://ada:s3cret%20pw@" + base);
    EXPECT_TRUE(send().sent);

    options.setWebAddress(base);
    options.setWebUser("ada");
    options.setWebPassword("s3cret pw");
    EXPECT_TRUE(send().sent);

    options.setWebPassword("wrong");
    const TCrashWebStepResult refused = send();
    EXPECT_FALSE(refused.sent);
    EXPECT_EQ(refused.warningCode, "eeWebHTTPError");
    EXPECT_EQ(refused.warningText, "HTTP error code: 401 (Unauthorized)");
    EXPECT_EQ(server.requests().size(), 3u);
}

TEST_F(WebUploadTest, HttpsWithTheNamedAuthorityAndRefusals)
{
    ASSERT_TRUE(MakeCertificates(dir.path()));
    struct Case {
        const char *what;
        const char *cert;
        const char *caFile;
        bool sent;
    };
    const Case cases[] = {
        { "trusted through the options' authority file", "server", "ca.pem", true },
        { "an authority the options do not name", "server", "stranger-ca.pem", false },
        { "the system's authorities only", "server", "", false },
        { "a certificate for another name", "other", "ca.pem", false },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WebServer server;
        const std::string out = dir.file(std::string("out-") + c.cert + c.caFile);
        ASSERT_TRUE(server.start(out, "upload",
                                 { "--cert", dir.file(std::string(c.cert) + ".pem"), "--key",
                                   dir.file(std::string(c.cert) + ".key") }));
        options.setWebMode(2);
        options.setWebAddress("127.0.0.1:" + std::to_string(server.port()) + "/upload");
        options.setCAFile(*c.caFile ? dir.file(c.caFile) : std::string());
        const TCrashWebStepResult result = send();
        EXPECT_EQ(result.sent, c.sent) << result.warningText;
        if (c.sent) {
            ASSERT_EQ(server.requests().size(), 1u);
            EXPECT_TRUE(server.receivedFile(1, "BugReport.zip") == archive);
        } else {
            EXPECT_EQ(result.warningCode, "eeWebHTTPSError");
            EXPECT_EQ(result.warningText.rfind("HTTPS error code: 60 (", 0), 0u) << result.warningText;
            EXPECT_TRUE(server.requests().empty()); // nothing of the report went out
        }
    }
}

TEST_F(WebUploadTest, ThroughAProxyWithItsLogin)
{
    ASSERT_TRUE(MakeCertificates(dir.path()));
    Proxy proxy;
    ASSERT_TRUE(proxy.start(dir.path(), "bob", "proxy-pw"));
    WebServer plain, secure;
    ASSERT_TRUE(plain.start(dir.file("plain"), "upload"));
    ASSERT_TRUE(secure.start(dir.file("secure"), "upload",
                             { "--cert", dir.file("server.pem"), "--key", dir.file("server.key") }));
    options.setProxyAddress("127.0.0.1");
    options.setProxyPort(std::uint16_t(proxy.port()));
    options.setProxyUser("bob");
    options.setProxyPassword("proxy-pw");
    options.setCAFile(dir.file("ca.pem"));

    options.setWebMode(1);
    options.setWebAddress("127.0.0.1:" + std::to_string(plain.port()) + "/up");
    TCrashWebStepResult result = send();
    EXPECT_TRUE(result.sent) << result.warningText;
    ASSERT_EQ(plain.requests().size(), 1u);
    EXPECT_TRUE(plain.receivedFile(1, "BugReport.zip") == archive);

    options.setWebMode(2);
    options.setWebAddress("127.0.0.1:" + std::to_string(secure.port()) + "/up");
    result = send();
    EXPECT_TRUE(result.sent) << result.warningText;
    ASSERT_EQ(secure.requests().size(), 1u);
    EXPECT_TRUE(secure.receivedFile(1, "BugReport.zip") == archive);

    const std::string log = proxy.log();
    EXPECT_NE(log.find("POST http://127.0.0.1:" + std::to_string(plain.port()) + "/up"), std::string::npos) << log;
    EXPECT_NE(log.find("CONNECT 127.0.0.1:" + std::to_string(secure.port())), std::string::npos) << log;

    // The proxy refuses a wrong login (with 407, or by closing while the body still comes); the
    // server sees nothing.
    options.setProxyPassword("wrong");
    options.setWebMode(1);
    options.setWebAddress("127.0.0.1:" + std::to_string(plain.port()) + "/up");
    result = send();
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.warningCode, "eeWebHTTPError");
    EXPECT_EQ(result.warningText.rfind("HTTP error code: ", 0), 0u) << result.warningText;
    EXPECT_EQ(plain.requests().size(), 1u);
}

TEST_F(WebUploadTest, FtpUploadCreatesTheFolders)
{
    FtpServer server;
    const std::string root = dir.file("ftp-root");
    ASSERT_TRUE(server.start(root, "ada", "ftp pw"));
    options.setWebMode(3);
    options.setWebAddress("ftp://127.0.0.1/incoming/vetu reports/");
    options.setWebPort(std::uint32_t(server.port()));
    options.setWebUser("ada");
    options.setWebPassword("ftp pw");
    const TCrashWebStepResult result = send();
    EXPECT_TRUE(result.sent) << result.warningText;
    EXPECT_TRUE(ReadFile(root + "/incoming/vetu reports/BugReport.zip") == archive);
    EXPECT_EQ(ReadFile(root + "/incoming/vetu reports/vetu-config.crashlog"), "Report\r\n\r\n\r\n");
    EXPECT_EQ(progress.positions.back(), 100);

    options.setWebPassword("wrong");
    const TCrashWebStepResult refused = send();
    EXPECT_FALSE(refused.sent);
    EXPECT_EQ(refused.warningCode, "eeWebFTPError");
    EXPECT_EQ(refused.warningText.rfind("FTP error code: 67 (", 0), 0u) << refused.warningText; // login denied
}

TEST_F(WebUploadTest, NoServerAndBadAddressesAreWarnings)
{
    options.setWebMode(1);
    options.setWebAddress("127.0.0.1:" + std::to_string(mailtest::FreeTcpPort()) + "/up");
    TCrashWebStepResult result = send();
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.warningCode, "eeWebHTTPError");
    EXPECT_EQ(result.warningText.rfind("HTTP error code: 7 (", 0), 0u) << result.warningText;

    options.setWebAddress("http://:80/");
    result = send();
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.warningText.rfind("HTTP error code: 3 (", 0), 0u) << result.warningText;

    WebServer server;
    ASSERT_TRUE(server.start(dir.file("out"), "upload"));
    options.setWebAddress("127.0.0.1:" + std::to_string(server.port()) + "/up");
    request.packageFiles.clear(); // nothing to upload: the server says so
    result = send();
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.warningText, "HTTP error code: 400 (No File Here)");
}
