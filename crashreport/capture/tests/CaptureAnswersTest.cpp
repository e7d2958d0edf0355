// What the user gives in a dialog stays for the next report of the run: the e-mail address fills
// the user's e-mail line of later reports, and the steps to reproduce start the dialog's edits
// again until the user changes or clears them.

#include "CrashCapture.h"
#include "CrashModuleOptionsEx.h"
#include "CrashShowStep.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace crashreport;

namespace
{

class ScriptedPresenter final : public TCrashReportPresenter
{
public:
    TCrashShowResult show(const TCrashShowRequest &request, const TCrashShowCallbacks &) override
    {
        requests.push_back(request);
        TCrashShowResult result = next;
        result.painted = true;
        next = {};
        return result;
    }
    std::vector<TCrashShowRequest> requests;
    TCrashShowResult next; // the answer to the next report, then nothing given
};

class WindowToolkit final : public TCrashToolkit
{
public:
    bool isGuiThread() const override { return false; }
    bool canShowWindows() const override { return true; }
    void processEvents() override { }
    ActiveControlValues activeControls() const override { return {}; }
    std::optional<DisplayValues> display() const override { return std::nullopt; }
    bool mainWindowExists() const override { return false; }
    bool mainWindowAnswers(int) override { return true; }
};

// The value of the report's line "3.3 Email" ("" when the line is missing).
std::string emailLine(const std::string &report)
{
    const std::size_t at = report.find("3.3 Email");
    if (at == std::string::npos)
        return {};
    const std::size_t colon = report.find(": ", at);
    return report.substr(colon + 2, report.find("\r\n", colon) - colon - 2);
}

TEST(CaptureAnswers, EmailAndStepsGivenOnceStayForTheNextReports)
{
    ASSERT_TRUE(CrashReportActive());
    ScriptedPresenter presenter;
    WindowToolkit toolkit;
    CrashSetReportPresenter(&presenter);
    CrashSetToolkit(&toolkit);
    TCrashModuleOptionsEx &o = CrashCurrentOptions();
    o.setDialogStyle(2);
    o.setKeepLogFile(0);
    o.setMailMode(0);

    presenter.next.emailAddress = "me@example.org";
    presenter.next.reproduceText = "opened set 5";
    presenter.next.reproduceGiven = true;
    CallCrashReport("EVetuAnswers", "first", "");
    EXPECT_EQ(emailLine(CrashLastReportText()), "me@example.org");
    EXPECT_NE(CrashLastReportText().find("opened set 5"), std::string::npos);

    CallCrashReport("EVetuAnswers", "second: nothing given", "");
    EXPECT_EQ(emailLine(CrashLastReportText()), "me@example.org") << "kept from the first report";
    EXPECT_EQ(CrashLastReportText().find("opened set 5"), std::string::npos)
        << "steps not confirmed in this report are not its own";

    presenter.next.reproduceGiven = true; // the user cleared the edit
    CallCrashReport("EVetuAnswers", "third: steps cleared", "");
    CallCrashReport("EVetuAnswers", "fourth", "");

    CrashSetToolkit(nullptr);
    CrashSetReportPresenter(nullptr);
    ASSERT_EQ(presenter.requests.size(), 4u);
    EXPECT_EQ(presenter.requests[0].reproduceText, "");
    EXPECT_EQ(presenter.requests[1].reproduceText, "opened set 5");
    EXPECT_EQ(presenter.requests[2].reproduceText, "opened set 5");
    EXPECT_EQ(presenter.requests[3].reproduceText, "");
}

} // namespace
