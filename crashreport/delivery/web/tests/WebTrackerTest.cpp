// The three tracker dialogues through the web step, against small tracker servers of our own
// (web_server.py) that serve the forms each tracker's pages carry and record every request:
// a new entry, the same error again, a closed entry, a wrong password, a wrong project, and
// hostile servers.

#include "CrashDefaultWebStep.h"
#include "CrashModuleOptions.h"
#include "THTTPSendReport.h"
#include "WebTestServers.h"

#include <gtest/gtest.h>

using namespace crashreport;
using crashreport::testing::CrashTempFolder;
using namespace webtest;

namespace {

constexpr const char *Title = "[v2.1.0 - 1]: std::runtime_error (A1B2C3D4)";
constexpr const char *OtherTitle = "[v2.0.0 - 4]: std::bad_alloc (FFFF0000)";

class NoProgress : public TCrashWebProgress {
public:
    void update(const std::string &label, int, int) override { labels.push_back(label); }
    std::vector<std::string> labels;
};

struct Tracker {
    const char *mode;
    int webMode;
    const char *path;
};

const Tracker Trackers[] = {
    { "mantis", 6, "/mantis/" },
    { "bugzilla", 4, "/bugzilla/" },
    { "fogbugz", 5, "/fogbugz/" },
};

class WebTrackerTest : public ::testing::TestWithParam<Tracker> {
protected:
    void SetUp() override
    {
        archive = RandomBytes(20000, 5);
        WriteFile(dir.file("BugReport.zip"), archive);
        options.setTrackerLogin("ada");
        options.setTrackerPassword("secret");
        options.setTrackerProject("Vetu");
        options.setTrackerCategory("Crashes");
        options.setTrackerAssignee("Ada Meter");
        request.options = &options;
        request.packageFiles = { dir.file("BugReport.zip") };
        request.applicationVersion = "2.1.0";
        request.exceptionClass = "std::runtime_error";
        request.exceptionMessage = "Unable to write to /media/VETU/Configuration.ini";
        request.bugId = "A1B2C3D4";
        request.reproduceText = "Saved set 5 twice.";
        request.osType = "Linux";
        request.osBuild = "6.1.0";
    }
    bool startTracker(std::vector<std::string> extra = {}, const char *mode = nullptr)
    {
        if (!server.start(dir.file("out"), mode ? mode : GetParam().mode, std::move(extra)))
            return false;
        options.setWebMode(std::uint8_t(GetParam().webMode));
        options.setWebAddress("http://127.0.0.1:" + std::to_string(server.port()) + GetParam().path);
        return true;
    }
    TCrashWebStepResult send() { return CrashDefaultWebStep().send(request, progress); }
    std::string kind() const { return GetParam().mode; }

    CrashTempFolder dir { "web-tracker" };
    std::string archive;
    TCrashModuleOptions options;
    TCrashWebStepRequest request;
    NoProgress progress;
    WebServer server;
};

} // namespace

TEST_P(WebTrackerTest, NewEntryWithTheArchive)
{
    ASSERT_TRUE(startTracker({ "--bug", std::string("10|") + OtherTitle }));
    const TCrashWebStepResult result = send();
    EXPECT_TRUE(result.sent) << result.warningText;
    EXPECT_EQ(result.trackerCode, 0);
    const std::vector<Bug> bugs = server.bugs();
    ASSERT_EQ(bugs.size(), 2u);
    EXPECT_EQ(bugs[0].title, OtherTitle); // the other entry is left alone
    EXPECT_EQ(bugs[1].title, Title);
    EXPECT_EQ(bugs[1].attachments, "BugReport.zip");
    EXPECT_TRUE(server.receivedFile(1, "BugReport.zip") == archive);

    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    for (const RecordedRequest &r : requests) {
        EXPECT_EQ(r.headers.at("user-agent"), "CrashReport");
        EXPECT_EQ(r.headers.count("expect"), 0u);
    }
    // The search and the filing request, with their fields.
    const RecordedRequest *search = nullptr;
    const RecordedRequest *filing = nullptr;
    for (const RecordedRequest &r : requests) {
        if (r.hasField("search") && kind() == "mantis")
            search = &r;
        if (r.hasField("content") && kind() == "bugzilla")
            search = &r;
        if (r.hasField("searchFor") && kind() == "fogbugz")
            search = &r;
        if (!r.files.empty() && !filing)
            filing = &r;
    }
    ASSERT_TRUE(search && filing);
    const std::string searchText = "std::runtime_error (A1B2C3D4)";
    if (kind() == "mantis") {
        EXPECT_EQ(search->path, "/mantis/view_all_set.php?f=3");
        EXPECT_EQ(search->field("search"), searchText);
        EXPECT_EQ(filing->page(), "bug_report.php");
        EXPECT_EQ(filing->field("summary"), Title);
        EXPECT_EQ(filing->field("description"), request.exceptionMessage);
        EXPECT_EQ(filing->field("steps_to_reproduce"), "Saved set 5 twice.");
        EXPECT_EQ(filing->field("os"), "Linux");
        EXPECT_EQ(filing->field("os_build"), "6.1.0");
        EXPECT_EQ(filing->field("build"), "2.1.0");
        EXPECT_EQ(filing->field("m_id"), "0");
        EXPECT_EQ(filing->field("project_id"), "1");
        EXPECT_EQ(filing->field("category"), "2");   // chosen by its text
        EXPECT_EQ(filing->field("handler_id"), "0"); // no such user: the selected one
        EXPECT_EQ(filing->field("severity"), "50");
        EXPECT_EQ(filing->field("priority"), "30");
        EXPECT_EQ(filing->field("platform"), "PC");
        EXPECT_EQ(filing->field("reproducibility"), "10");
        EXPECT_EQ(filing->field("view_state"), "10");
        EXPECT_EQ(filing->field("additional_info"), "");
        EXPECT_EQ(filing->files[0].field, "file");
        // The login and the project choice came first.
        EXPECT_EQ(requests[0].page(), "login.php");
        EXPECT_EQ(requests[0].field("return"), "login_select_proj_page.php");
    } else if (kind() == "bugzilla") {
        EXPECT_EQ(search->method, "GET");
        EXPECT_EQ(search->field("content"), searchText);
        EXPECT_EQ(search->field("order"), "relevance desc");
        EXPECT_EQ(search->field("product"), "Vetu");
        EXPECT_NE(search->path.find("content=std%3A%3Aruntime%5Ferror%20%28A1B2C3D4%29"), std::string::npos)
            << search->path;
        const RecordedRequest *post = nullptr;
        for (const RecordedRequest &r : requests)
            if (r.page() == "post_bug.cgi")
                post = &r;
        ASSERT_TRUE(post);
        EXPECT_EQ(post->field("short_desc"), Title);
        EXPECT_EQ(post->field("comment"), request.exceptionMessage);
        EXPECT_EQ(post->field("product"), "Vetu");
        EXPECT_EQ(post->field("component"), "Core");
        EXPECT_EQ(post->field("bug_status"), "NEW");
        EXPECT_EQ(post->field("assigned_to"), "Ada Meter");
        EXPECT_EQ(post->field("form_name"), "enter_bug");
        EXPECT_EQ(filing->page(), "attachment.cgi");
        EXPECT_EQ(filing->field("bugid"), "2");
        EXPECT_EQ(filing->field("action"), "insert");
        EXPECT_EQ(filing->field("contenttypeselection"), "application/octet-stream");
        EXPECT_EQ(filing->field("flag_type-4"), "X");
        EXPECT_EQ(filing->files[0].field, "data");
    } else {
        EXPECT_EQ(search->field("pre"), "preSearch");
        EXPECT_EQ(search->field("bAlsoSearchClosedBugs"), "ON");
        EXPECT_EQ(search->field("searchFor"), searchText);
        EXPECT_EQ(filing->path, "/fogbugz/default.asp?pre=preSubmitBug");
        EXPECT_EQ(filing->field("sTitle"), Title);
        EXPECT_EQ(filing->field("sEvent"), request.exceptionMessage);
        EXPECT_EQ(filing->field("ixProject"), "3");          // "Vetu" by its text
        EXPECT_EQ(filing->field("ixArea"), "30");            // "Vetu: Crashes"
        EXPECT_EQ(filing->field("ixPersonAssignedTo"), "9"); // "Ada Meter"
        EXPECT_EQ(filing->field("ixPriority"), "1");
        EXPECT_EQ(filing->field("command"), "new");
        EXPECT_EQ(filing->field("hrsElapsedNew"), "0");
        EXPECT_EQ(filing->files[0].field, "File1");
        EXPECT_EQ(requests[0].field("sPerson"), "ada");
        EXPECT_FALSE(requests[0].hasField("ID")); // no trial identifier
    }
}

TEST_P(WebTrackerTest, SameErrorAgainCountsTheRepetition)
{
    ASSERT_TRUE(startTracker({ "--bug", std::string("10|") + OtherTitle, "--bug",
                               kind() == "bugzilla" ? std::string("NEW|") + Title
                               : kind() == "fogbugz" ? std::string("open|") + Title
                                                     : std::string("10|") + Title }));
    TCrashWebStepResult result = send();
    EXPECT_TRUE(result.sent) << result.warningText;
    EXPECT_EQ(result.trackerCode, 0);
    std::vector<Bug> bugs = server.bugs();
    ASSERT_EQ(bugs.size(), 2u);
    EXPECT_EQ(bugs[1].title, "[v2.1.0 - 2]: std::runtime_error (A1B2C3D4)");
    EXPECT_EQ(bugs[0].title, OtherTitle);
    for (const RecordedRequest &r : server.requests())
        EXPECT_TRUE(r.files.empty()) << r.path; // no archive for an entry that has one

    result = send();
    EXPECT_TRUE(result.sent);
    EXPECT_EQ(server.bugs()[1].title, "[v2.1.0 - 3]: std::runtime_error (A1B2C3D4)");

    // The fields copied from the open entry's page.
    const auto requests = server.requests();
    const RecordedRequest &update = requests.back();
    if (kind() == "mantis") {
        EXPECT_EQ(update.page(), "bug_update.php");
        EXPECT_EQ(update.field("bug_id"), "2");
        EXPECT_EQ(update.field("update_mode"), "1");
        EXPECT_EQ(update.field("reporter_id"), "3");
        EXPECT_EQ(update.field("description"), "The program stopped & said so.");
        EXPECT_EQ(update.field("bugnote_text"), "");
    } else if (kind() == "bugzilla") {
        EXPECT_EQ(update.page(), "process_bug.cgi");
        EXPECT_EQ(update.field("id"), "2");
        EXPECT_EQ(update.field("delta_ts"), "2026-01-01 10:00:00");
        EXPECT_EQ(update.field("knob"), "none");
        EXPECT_EQ(update.field("flag_type-6"), "X");
        EXPECT_EQ(update.field("form_name"), "process_bug");
    } else {
        EXPECT_EQ(update.field("ixBug"), "2");
        EXPECT_EQ(update.field("command"), "edit");
        EXPECT_EQ(update.field("sOriginalTitle"), "[v2.1.0 - 2]: std::runtime_error (A1B2C3D4)");
        EXPECT_TRUE(update.files.empty());
    }
}

TEST_P(WebTrackerTest, ClosedEntryStaysAsItIs)
{
    const std::string closed = kind() == "mantis" ? "80" : kind() == "bugzilla" ? "RESOLVED" : "closed";
    ASSERT_TRUE(startTracker({ "--bug", closed + "|" + Title }));
    const TCrashWebStepResult result = send();
    EXPECT_TRUE(result.sent); // a closed entry counts as sent
    EXPECT_EQ(result.trackerCode, 1);
    EXPECT_TRUE(result.warningCode.empty());
    const std::vector<Bug> bugs = server.bugs();
    ASSERT_EQ(bugs.size(), 1u);
    EXPECT_EQ(bugs[0].title, Title);
    for (const RecordedRequest &r : server.requests())
        EXPECT_TRUE(r.page() != "bug_update.php" && r.page() != "process_bug.cgi" && r.field("pre") != "preSubmitBug")
            << r.path;
}

TEST_P(WebTrackerTest, WrongPasswordIsAnInvalidLogin)
{
    ASSERT_TRUE(startTracker());
    options.setTrackerPassword("guess");
    const TCrashWebStepResult result = send();
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.trackerCode, 3);
    EXPECT_EQ(result.warningCode, "eeWebTrakerError");
    EXPECT_EQ(result.warningText.rfind("Invalid login request.\r\n\r\nError Code: 200\r\nError Message: \"", 0), 0u)
        << result.warningText;
    EXPECT_TRUE(server.bugs().empty());
}

TEST_P(WebTrackerTest, WrongProject)
{
    ASSERT_TRUE(startTracker());
    options.setTrackerProject("Nope");
    const TCrashWebStepResult result = send();
    const std::vector<Bug> bugs = server.bugs();
    if (kind() == "fogbugz") {
        // FogBugz files the entry in the project its form has selected.
        EXPECT_TRUE(result.sent) << result.warningText;
        ASSERT_EQ(bugs.size(), 1u);
        EXPECT_EQ(server.requests().back().field("ixProject"), "1");
        return;
    }
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.trackerCode, 4);
    EXPECT_EQ(result.warningText.rfind("Invalid selection request.\r\n\r\nError Code: 200\r\nError Message: \"OK\"", 0),
              0u)
        << result.warningText;
    EXPECT_TRUE(bugs.empty());
}

TEST_P(WebTrackerTest, HostileServersEndWithTheStepsCode)
{
    // Each fails the login, the first step, without a hang or a crash.
    for (const char *hostile : { "huge", "truncated", "noforms", "loop", "refreshloop" }) {
        SCOPED_TRACE(hostile);
        server.stop();
        ASSERT_TRUE(startTracker({ "--hostile", hostile }, "hostile"));
        const TCrashWebStepResult result = send();
        EXPECT_FALSE(result.sent);
        EXPECT_EQ(result.trackerCode, 3);
        EXPECT_EQ(result.warningCode, "eeWebTrakerError");
    }
    // A redirect loop stops after the cap: the first request and ten redirections.
    const auto requests = server.requests();
    EXPECT_GE(requests.size(), 11u);
    EXPECT_LE(requests.size(), 11u * 5);
}

TEST_P(WebTrackerTest, NoServerFailsTheLoginAndNoConnectionIsUnknown)
{
    options.setWebMode(std::uint8_t(GetParam().webMode));
    options.setWebAddress("http://127.0.0.1:" + std::to_string(mailtest::FreeTcpPort()) + GetParam().path);
    const TCrashWebStepResult result = send();
    EXPECT_FALSE(result.sent);
    EXPECT_EQ(result.trackerCode, 3); // the login request got no reply
    EXPECT_NE(result.warningText.find("Error Code: 0\r\nError Message: \""), std::string::npos) << result.warningText;

    options.setWebAddress("gopher://127.0.0.1/");
    EXPECT_EQ(send().trackerCode, 2); // no connection could be made
}

TEST(WebTrackerStall, AServerThatNeverAnswersEndsTheRequest)
{
    CrashTempFolder dir("web-stall");
    WebServer server;
    ASSERT_TRUE(server.start(dir.file("out"), "hostile", { "--hostile", "silent" }));
    TWebTransferSettings settings;
    settings.stallSeconds = 1;
    THTTPConnectionBase connection("http://127.0.0.1:" + std::to_string(server.port()) + "/mantis/", "", settings);
    ASSERT_TRUE(connection.connect());
    connection.setPage("login.php", THTTPMethod::PostForm);
    connection.addField("username", "ada");
    EXPECT_FALSE(connection.request());
    EXPECT_EQ(connection.lastError(), 28); // libcurl's time-out
    EXPECT_FALSE(connection.checkResponse("login_select_proj_page.php"));
    connection.disconnect();
}

INSTANTIATE_TEST_SUITE_P(Trackers, WebTrackerTest, ::testing::ValuesIn(Trackers),
                         [](const ::testing::TestParamInfo<Tracker> &info) { return std::string(info.param.mode); });

TEST(WebTrackerTexts, SearchTextTitleAndErrorText)
{
    THTTPTrackerRequest r;
    r.applicationVersion = "1.0";
    r.exceptionClass = "EAccessViolation";
    r.bugId = "0A1B";
    EXPECT_EQ(r.searchText(), "EAccessViolation (0A1B)");
    EXPECT_EQ(r.entryTitle(), "[v1.0 - 1]: EAccessViolation (0A1B)");
    TCrashModuleOptions options;
    const char *expected[] = { "Unknown error.", "Invalid login request.", "Invalid selection request.",
                               "Invalid search request.", "Invalid insert request.", "Invalid modify request." };
    for (int code = 2; code <= 7; ++code)
        EXPECT_EQ(CrashTrackerErrorText(options, code, 500, "Internal Server Error"),
                  std::string(expected[code - 2]) + "\r\n\r\nError Code: 500\r\nError Message: \"Internal Server Error\"");
}
