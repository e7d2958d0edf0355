#pragma once
// The tracker senders: each drives one kind of issue tracker through its HTML forms, as a
// browser would (log in, search for the same error, file a new entry with the archive or count
// the repetition in the open entry's title).

#include "THTTPConnectionBase.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace crashreport {

// Result codes of a tracker post.
enum THTTPTrackerCode : int {
    TrackerSent = 0, TrackerClosed, TrackerUnknownError, TrackerInvalidLogin, TrackerInvalidSelection,
    TrackerInvalidSearch, TrackerInvalidInsert, TrackerInvalidModify
};

enum class THTTPTrackerKind : int { BugZilla = 4, FogBugz = 5, Mantis = 6 };

struct THTTPTrackerRequest {
    std::string applicationVersion;
    std::vector<TFormField> extraFields; // FogBugzTrialID, OSType, OSBuild, ReproduceText
    std::string attachment;
    std::string assignee;
    std::string category;
    std::string project;
    std::string login;
    std::string password;
    std::string bugId;
    std::string exceptionMessage;
    std::string exceptionClass;

    std::string extra(const std::string &name) const;
    // "%s (%s)": class name, BugID.
    std::string searchText() const;
    // "[v%s - 1]: %s (%s)": version, class name, BugID.
    std::string entryTitle() const;
};

class THTTPSendReport {
public:
    THTTPSendReport(THTTPConnectionBase &connection, const THTTPTrackerRequest &request)
        : m_connection(connection), m_request(request)
    {
    }
    virtual ~THTTPSendReport() = default;
    // Connects, runs the dialogue and always disconnects; one of THTTPTrackerCode.
    int send();

protected:
    virtual int dialogue() = 0;
    // The digits that follow the marker in the last page, or "".
    std::string numberAfter(const std::string &marker) const;

    THTTPConnectionBase &m_connection;
    const THTTPTrackerRequest &m_request;
};

class THTTPMantisSendReport : public THTTPSendReport {
public:
    using THTTPSendReport::THTTPSendReport;

protected:
    int dialogue() override;
};

class THTTPBugzillaSendReport : public THTTPSendReport {
public:
    using THTTPSendReport::THTTPSendReport;

protected:
    int dialogue() override;
};

class THTTPFogBugzSendReport : public THTTPSendReport {
public:
    using THTTPSendReport::THTTPSendReport;

protected:
    int dialogue() override;
};

// Makes the connection for a tracker post (the caller's class, which shows the progress).
using THTTPConnectionFactory =
    std::function<std::unique_ptr<THTTPConnectionBase>(const std::string &address, const std::string &proxyText)>;

struct THTTPTrackerOutcome {
    int code = TrackerUnknownError;
    int statusCode = 0;     // of the last reply
    std::string statusText; // of the last reply, or the transport's words when there was none
};

// Creates the connection and the sender of that kind and sends.
THTTPTrackerOutcome SendTrackerReport(const THTTPConnectionFactory &factory, THTTPTrackerKind kind,
                                      const std::string &address, const std::string &proxyText,
                                      const THTTPTrackerRequest &request);

} // namespace crashreport
