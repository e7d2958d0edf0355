// The web branch of the send flow with a web step of the test's own that returns scripted results
// (the protocols themselves are tested with the web delivery), and the archive shared by mail
// and web.

#include "SendFlowFixture.h"

#include <filesystem>

namespace fs = std::filesystem;
using namespace crashreport;
using namespace sendtest;

namespace
{

class ScriptedWebStep final : public TCrashWebStep
{
public:
    TCrashWebStepResult send(const TCrashWebStepRequest &request, TCrashWebProgress &progress) override
    {
        requests.push_back(request);
        archives.push_back(request.packageFiles.empty() ? std::string() : readFile(request.packageFiles[0]));
        progress.update("Uploading...", 50, 100);
        TCrashWebStepResult result = results.empty() ? TCrashWebStepResult {} : results.front();
        if (!results.empty())
            results.erase(results.begin());
        return result;
    }
    std::vector<TCrashWebStepResult> results;
    std::vector<TCrashWebStepRequest> requests;
    std::vector<std::string> archives;
};

TCrashWebStepResult tracker(int code)
{
    TCrashWebStepResult r;
    r.sent = code <= 1;
    r.trackerCode = code;
    if (code > 1) {
        r.warningCode = "eeWebTrakerError";
        r.warningText = "Error Code: 500\r\nError Message: \"database down\"";
    }
    return r;
}

TEST_F(SendFlowTest, TrackerResultCodes)
{
    const struct {
        int code;
        bool sent;
        const char *message; // the warning's leading text, or the box of code 1
    } cases[] = {
        { 0, true, "" },
        { 1, true, "These BUG is just closed.\r\nContact the program support to obtain an update." },
        { 2, false, "Unknown error." },
        { 3, false, "Invalid login request." },
        { 4, false, "Invalid selection request." },
        { 5, false, "Invalid search request." },
        { 6, false, "Invalid insert request." },
        { 7, false, "Invalid modify request." },
    };
    for (const auto &c : cases) {
        ScriptedWebStep step;
        step.results = { tracker(c.code) };
        CrashSetWebStep(&step);
        m_presenter.boxes.clear();
        m_listener.events.clear();
        m_warnings.items.clear();
        TCrashModuleOptions o = options(0, 4);
        o.setSendFlags(0x001 | 0x002);
        o.setTrackerIdentifier("trial-7");
        TCrashSendFlow flow(&m_warnings);
        const TCrashSendRequest r = request();
        EXPECT_EQ(flow.send(o, r).sent, c.sent) << c.code;
        ASSERT_EQ(step.requests.size(), 1u);
        EXPECT_EQ(step.requests[0].bugId, "1A2B3C4D");
        EXPECT_EQ(step.requests[0].trialId, "trial-7");
        EXPECT_EQ(step.requests[0].customFields,
            (std::vector<std::pair<std::string, std::string>> { { "Station", "Pegel 7" } }));
        EXPECT_EQ(m_listener.events,
            c.sent ? (std::vector<std::string> { "files", "action 6", "fields", "action 7" })
                   : (std::vector<std::string> { "files", "action 6", "fields", "error 7", "action 7" }))
            << c.code;
        if (c.code == 0) {
            ASSERT_EQ(m_presenter.boxes.size(), 1u);
            EXPECT_EQ(m_presenter.boxes[0].text, "The message was sent successfully.");
        } else if (c.code == 1) {
            // The notice instead of the outcome.
            ASSERT_EQ(m_presenter.boxes.size(), 1u);
            EXPECT_EQ(m_presenter.boxes[0].caption, "Information.");
            EXPECT_EQ(m_presenter.boxes[0].text, c.message);
        } else {
            const std::string text
                = std::string(c.message) + "\r\n\r\nError Code: 500\r\nError Message: \"database down\"";
            ASSERT_EQ(m_warnings.items.size(), 1u) << c.code;
            EXPECT_EQ(m_warnings.items[0].first, "eeWebTrakerError");
            EXPECT_EQ(m_warnings.items[0].second, text);
            ASSERT_EQ(m_presenter.boxes.size(), 2u);
            EXPECT_EQ(m_presenter.boxes[0].caption, "Error.");
            EXPECT_EQ(m_presenter.boxes[0].text, text);
            EXPECT_EQ(m_presenter.boxes[1].text, "Sorry, sending the message didn't work.");
        }
        EXPECT_TRUE(leftInTemp().empty());
    }
}

TEST_F(SendFlowTest, WebRetryAndMissingWebStep)
{
    ScriptedWebStep step;
    TCrashWebStepResult failed;
    failed.warningCode = "eeWebHTTPError";
    failed.warningText = "HTTP error code: 503 (busy)";
    TCrashWebStepResult ok;
    ok.sent = true;
    step.results = { failed, ok };
    CrashSetWebStep(&step);
    m_listener.retries = 1;
    TCrashSendFlow flow(&m_warnings);
    EXPECT_TRUE(flow.send(options(0, 1), request()).sent);
    EXPECT_EQ(step.requests.size(), 2u);
    EXPECT_EQ(m_warnings.items,
        (std::vector<std::pair<std::string, std::string>> {
            { "eeWebHTTPError", "HTTP error code: 503 (busy)" } }));

    CrashSetWebStep(nullptr);
    m_warnings.items.clear();
    EXPECT_FALSE(flow.send(options(0, 2), request()).sent);
    ASSERT_EQ(m_warnings.items.size(), 1u);
    EXPECT_EQ(m_warnings.items[0].first, "eeWebHTTPError");
    EXPECT_TRUE(leftInTemp().empty());
}

TEST_F(SendFlowTest, MailAndWebShareOneArchiveUnlessTheReportTravelsInTheMailBody)
{
    const int port = mailtest::FreeTcpPort();
    auto server = startSmtpServer("127.0.0.1", port, m_dir.file("mail"));
    ASSERT_TRUE(server);
    for (const int appendLogs : { 0, 1 }) {
        ScriptedWebStep step;
        TCrashWebStepResult ok;
        ok.sent = true;
        step.results = { ok };
        CrashSetWebStep(&step);
        m_listener.events.clear();
        TCrashModuleOptions o = options(2, 1);
        o.setMailHost("127.0.0.1");
        o.setMailPort(static_cast<std::uint16_t>(port));
        o.setAppendLogs(static_cast<std::uint8_t>(appendLogs));
        TCrashSendFlow flow(&m_warnings);
        EXPECT_TRUE(flow.send(o, request()).sent);
        const std::string mail = readFile(m_dir.file("mail/" + std::to_string(appendLogs + 1) + ".eml"));
        const std::string mailed = attachmentOf(mail, "BugReport.zip");
        ASSERT_EQ(step.archives.size(), 1u);
        EXPECT_EQ(step.requests[0].packageFiles.size(), 1u);
        EXPECT_NE(step.archives[0].find("vetu-config.crashlog"), std::string::npos);
        const long packings = std::count(m_listener.events.begin(), m_listener.events.end(), "files");
        if (appendLogs == 0) {
            EXPECT_EQ(packings, 1) << "the web reuses the mail archive";
            EXPECT_EQ(mailed, step.archives[0]);
        } else {
            EXPECT_EQ(packings, 2);
            EXPECT_EQ(mailed.find("vetu-config.crashlog"), std::string::npos);
        }
        EXPECT_EQ(m_listener.events.back(), "action 7");
        EXPECT_TRUE(leftInTemp().empty());
    }
}

} // namespace
