// The BugZilla dialogue: enter_bug.cgi (login), buglist.cgi, then post_bug.cgi and
// attachment.cgi for a new entry or process_bug.cgi for an open one.

#include "HtmlScan.h"
#include "THTTPSendReport.h"

namespace crashreport {

int THTTPBugzillaSendReport::dialogue()
{
    THTTPConnectionBase &c = m_connection;
    const THTTPTrackerRequest &r = m_request;

    c.notify(HttpLogin, 0);
    c.setPage("enter_bug.cgi", THTTPMethod::PostForm);
    c.addField("project", r.project);
    c.addField("Bugzilla_login", r.login);
    c.addField("Bugzilla_password", r.password);
    if (!c.request() || !c.checkResponse("enter_bug.cgi", "relogin.cgi"))
        return TrackerInvalidLogin;

    c.notify(HttpSearch, 0);
    c.setPage("buglist.cgi", THTTPMethod::Get);
    c.addField("query_format", "specific");
    c.addField("order", "relevance desc");
    c.addField("bug_status", "__all__");
    c.addField("product", r.project);
    c.addField("content", r.searchText());
    if (!c.request() || !c.checkResponse("buglist.cgi", "href=\"query.cgi?"))
        return TrackerInvalidSearch;

    if (!ContainsNoCase(c.response().body, "show_bug.cgi?id=")) {
        c.notify(HttpSelectProject, 0);
        c.setPage("enter_bug.cgi", THTTPMethod::Get);
        c.addField("product", r.project);
        if (!c.request() || !c.checkResponse({}, "action=\"post_bug.cgi\""))
            return TrackerInvalidSelection;
        c.setPage("post_bug.cgi", THTTPMethod::PostForm);
        c.copyInput("product");
        for (const char *name : { "version", "component", "rep_platform", "op_sys", "priority", "bug_severity",
                                  "target_milestone" })
            c.copySelection(name);
        c.copyInput("bug_status");
        c.addField("assigned_to", r.assignee);
        for (const char *name : { "qa_contact", "cc", "estimated_time", "deadline", "bug_file_loc" })
            c.copyInput(name);
        c.addField("short_desc", r.entryTitle());
        c.addField("comment", r.exceptionMessage);
        for (const char *name : { "keywords", "dependson", "blocked" })
            c.copyInput(name);
        c.addField("form_name", "enter_bug");
        if (!c.request() || !c.checkResponse("post_bug.cgi", "show_bug.cgi?id="))
            return TrackerInvalidInsert;
        const std::string bugId = HtmlInputValue(c.response().body, "id").value_or(std::string());
        c.setPage("attachment.cgi", THTTPMethod::PostMultipart);
        c.addField("bugid", bugId);
        c.addField("action", "insert");
        c.addField("description", "FILE");
        c.addField("contenttypemethod", "list");
        c.addField("contenttypeselection", "application/octet-stream");
        c.addField("contenttypeentry", "");
        for (const char *name : { "flag_type-1", "flag_type-2", "flag_type-3", "flag_type-4" })
            c.addField(name, "X");
        c.addField("comment", "");
        c.addFile("data", r.attachment);
        if (!c.request() || !c.checkResponse("attachment.cgi"))
            return TrackerInvalidInsert;
        return TrackerSent;
    }

    c.notify(HttpModify, 0);
    const std::string bugNumber = numberAfter("show_bug.cgi?id=");
    c.setPage("show_bug.cgi", THTTPMethod::Get);
    c.addField("id", bugNumber);
    if (!c.request() || !c.checkResponse("show_bug.cgi", "name=\"form_name\""))
        return TrackerInvalidModify;
    c.setPage("process_bug.cgi", THTTPMethod::PostForm);
    if (!c.countRepetition("short_desc"))
        return TrackerSent;
    if (ContainsNoCase(c.response().body, "value=\"reopen\""))
        return TrackerClosed;
    for (const char *name : { "delta_ts", "longdesclength", "id", "alias" })
        c.copyInput(name);
    for (const char *name : { "product", "component", "rep_platform", "op_sys", "version", "priority", "bug_severity",
                              "target_milestone" })
        c.copySelection(name);
    for (const char *name : { "newcc", "cc", "qa_contact", "bug_file_loc", "status_whiteboard", "keywords" })
        c.copyInput(name);
    c.addField("flag_type-6", "X");
    for (const char *name : { "requestee_type-6", "dependson", "blocked" })
        c.copyInput(name);
    c.copyTextArea("comment");
    c.addField("knob", "none");
    c.copySelection("resolution");
    for (const char *name : { "dup_id", "assigned_to", "form_name" })
        c.copyInput(name);
    if (!c.request() || !c.checkResponse("process_bug.cgi", "show_bug.cgi?id="))
        return TrackerInvalidModify;
    return TrackerSent;
}

} // namespace crashreport
