// The FogBugz dialogue, all on default.asp: preLogon, preSearch, then preSubmitBug with a new
// entry or with the open entry's counted title.

#include "HtmlScan.h"
#include "THTTPSendReport.h"

namespace crashreport {

namespace {

// The values the entry form carries over unchanged, in the new and in the open entry.
constexpr const char *CopiedBefore[] = { "command", "dtTimeStamp", "ixBug", "ixBugEventLatest", "ixPersonLastOwner",
                                         "ixDiscussTopic", "ixScreenshot", "sOriginalTitle" };

} // namespace

int THTTPFogBugzSendReport::dialogue()
{
    THTTPConnectionBase &c = m_connection;
    const THTTPTrackerRequest &r = m_request;

    c.notify(HttpLogin, 0);
    c.setPage("default.asp", THTTPMethod::PostForm);
    c.addField("pre", "preLogon");
    c.addField("sPerson", r.login);
    c.addField("sPassword", r.password);
    c.addField("fRememberPassword", "0");
    if (const std::string trial = r.extra("FogBugzTrialID"); !trial.empty())
        c.addField("ID", trial);
    if (!c.request() || !c.checkResponse("default.asp", "pre=preLogOff"))
        return TrackerInvalidLogin;

    c.notify(HttpSearch, 0);
    c.setPage("default.asp", THTTPMethod::Get);
    c.addField("pre", "preSearch");
    c.addField("pg", "pgList");
    c.addField("pgBack", "pgSearch");
    c.addField("search", "1");
    c.addField("bAlsoSearchClosedBugs", "ON");
    c.addField("searchFor", r.searchText());
    if (!c.request() || !c.checkResponse("default.asp", "searchFor="))
        return TrackerInvalidSearch;

    const std::string &found = c.response().body;
    if (!ContainsNoCase(found, "default.asp?pg=pgeditbug") && !ContainsNoCase(found, "default.asp?pgx=EV&amp;ixBug=")) {
        c.notify(HttpSelectProject, 0);
        c.setPage("default.asp", THTTPMethod::Get);
        c.addField("command", "new");
        c.addField("pg", "pgEditBug");
        if (!c.request() || !c.checkResponse("default.asp"))
            return TrackerInvalidInsert;
        c.setPage("default.asp?pre=preSubmitBug", THTTPMethod::PostMultipart);
        for (const char *name : CopiedBefore)
            c.copyInput(name);
        c.addField("sTitle", r.entryTitle());
        c.addField("sEvent", r.exceptionMessage);
        c.chooseOption("ixProject", r.project);
        c.chooseOption("ixArea", r.project + ": " + r.category);
        if (!r.assignee.empty())
            c.chooseOption("ixPersonAssignedTo", r.assignee);
        else
            c.copySelection("ixPersonAssignedTo");
        c.copySelection("ixCategory");
        c.copySelection("ixFixFor");
        c.addField("ixPriority", "1");
        c.copyInput("sDueDate");
        c.copyInput("sDueTime");
        c.addField("hrsCurrEstNew", "");
        c.copyInput("hrsElapsedNew");
        c.addFile("File1", r.attachment);
        if (!c.request() || !c.checkResponse("default.asp", "command=resolve"))
            return TrackerInvalidInsert;
        return TrackerSent;
    }

    c.notify(HttpModify, 0);
    const std::string bugNumber = numberAfter("ixBug=");
    c.setPage("default.asp", THTTPMethod::Get);
    c.addField("pg", "pgEditBug");
    c.addField("command", "edit");
    c.addField("ixBug", bugNumber);
    if (!c.request() || !c.checkResponse({}, "name=\"OK\""))
        return TrackerInvalidModify;
    c.setPage("default.asp?pre=preSubmitBug", THTTPMethod::PostMultipart);
    if (!c.countRepetition("sTitle"))
        return TrackerSent;
    if (ContainsNoCase(c.response().body, "default.asp?pg=pgEditReleaseNotes"))
        return TrackerClosed;
    for (const char *name : CopiedBefore)
        c.copyInput(name);
    for (const char *name : { "ixProject", "ixArea", "ixPersonAssignedTo", "ixCategory", "ixFixFor" })
        c.copySelection(name);
    for (const char *name : { "sDueDate", "sDueTime", "hrsElapsedNew" })
        c.copyInput(name);
    if (!c.request() || !c.checkResponse("default.asp", "command=resolve"))
        return TrackerInvalidModify;
    return TrackerSent;
}

} // namespace crashreport
