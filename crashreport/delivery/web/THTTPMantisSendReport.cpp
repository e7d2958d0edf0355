// The Mantis dialogue: login.php, set_project.php, view_all_set.php, then bug_report.php for a
// new entry or bug_update.php for an open one.

#include "HtmlScan.h"
#include "THTTPSendReport.h"

namespace crashreport {

int THTTPMantisSendReport::dialogue()
{
    THTTPConnectionBase &c = m_connection;
    const THTTPTrackerRequest &r = m_request;

    c.notify(HttpLogin, 0);
    c.setPage("login.php", THTTPMethod::PostForm);
    c.addField("return", "login_select_proj_page.php");
    c.addField("username", r.login);
    c.addField("password", r.password);
    if (!c.request())
        return TrackerInvalidLogin;

    if (!c.checkResponse("login_select_proj_page.php", "name=\"project_id\""))
        return TrackerInvalidLogin;
    c.notify(HttpSelectProject, 0);
    c.setPage("set_project.php", THTTPMethod::PostForm);
    c.chooseOption("project_id", r.project);
    if (!c.request() || !c.checkResponse("my_view_page.php"))
        return TrackerInvalidSelection;
    const std::string &page = c.response().body;
    if (!ContainsNoCase(page, ">" + r.project + "</option>") && !ContainsNoCase(page, " " + r.project + "</option>"))
        return TrackerInvalidSelection;

    c.notify(HttpSearch, 0);
    c.setPage("view_all_set.php?f=3", THTTPMethod::PostForm);
    c.addField("type", "1");
    c.addField("page_number", "1");
    c.addField("view_type", "simple");
    c.addField("search", r.searchText());
    if (!c.request()
        || !(c.checkResponse("view_all_bug_page.php", "name=\"reset_query_button\"")
             || c.checkResponse("view_all_bug_page.php", "[Reset Filter]")))
        return TrackerInvalidSearch;

    std::string bugNumber = numberAfter("bug_update_page.php?bug_id=");
    if (bugNumber.empty())
        bugNumber = numberAfter("bug_update_advanced_page.php?bug_id=");
    const bool known = ContainsNoCase(c.response().body, "bug_update_page.php?bug_id=")
        || ContainsNoCase(c.response().body, "bug_update_advanced_page.php?bug_id=");

    if (!known) {
        c.setPage("bug_report_advanced_page.php", THTTPMethod::Get);
        if (!c.request() || !c.checkResponse({}, "name=\"file\" type=\"file\""))
            return TrackerInvalidInsert;
        c.setPage("bug_report.php", THTTPMethod::PostMultipart);
        c.copyInput("m_id");
        c.copyInput("project_id");
        c.chooseOption("handler_id", r.assignee);
        c.chooseOption("category", r.category);
        c.addField("reproducibility", "10");
        c.copySelection("severity");
        c.copySelection("priority");
        c.copyInput("platform");
        c.addField("os", r.extra("OSType"));
        c.addField("os_build", r.extra("OSBuild"));
        c.addField("build", r.applicationVersion);
        c.addField("summary", r.entryTitle());
        c.addField("description", r.exceptionMessage);
        c.addField("steps_to_reproduce", r.extra("ReproduceText"));
        c.addField("additional_info", "");
        c.addField("view_state", "10");
        c.copyInput("report_stay");
        c.addFile("file", r.attachment);
        if (!c.request() || !c.checkResponse("bug_report.php", "href=\"view.php?id="))
            return TrackerInvalidInsert;
        return TrackerSent;
    }

    c.notify(HttpModify, 0);
    c.setPage("bug_update_page.php", THTTPMethod::Get);
    c.addField("bug_id", bugNumber);
    if (!c.request() || !c.checkResponse({}, "name=\"severity\""))
        return TrackerInvalidModify;
    const std::string status = HtmlSelectedOption(c.response().body, "status").value_or(std::string());
    if (status == "80" || status == "90")
        return TrackerClosed;
    c.setPage("bug_update.php", THTTPMethod::PostForm);
    if (!c.countRepetition("summary"))
        return TrackerSent;
    c.addField("bug_id", bugNumber);
    c.copyInput("update_mode");
    for (const char *name : { "category", "severity", "reproducibility", "reporter_id", "view_state", "handler_id",
                              "priority", "resolution" })
        c.copySelection(name);
    for (const char *name : { "description", "additional_information", "bugnote_text" })
        c.copyTextArea(name);
    if (!c.request() || !c.checkResponse("bug_update.php", "href=\"view.php?id="))
        return TrackerInvalidModify;
    return TrackerSent;
}

} // namespace crashreport
