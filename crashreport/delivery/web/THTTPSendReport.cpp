#include "THTTPSendReport.h"

#include "HtmlScan.h"

namespace crashreport {

std::string THTTPTrackerRequest::extra(const std::string &name) const
{
    for (const TFormField &f : extraFields)
        if (f.name == name)
            return f.value;
    return {};
}

std::string THTTPTrackerRequest::searchText() const
{
    return exceptionClass + " (" + bugId + ")";
}

std::string THTTPTrackerRequest::entryTitle() const
{
    return "[v" + applicationVersion + " - 1]: " + exceptionClass + " (" + bugId + ")";
}

int THTTPSendReport::send()
{
    if (!m_connection.connect()) {
        m_connection.disconnect();
        return TrackerUnknownError;
    }
    const int code = dialogue();
    m_connection.disconnect();
    return code;
}

std::string THTTPSendReport::numberAfter(const std::string &marker) const
{
    const std::string &body = m_connection.response().body;
    const std::size_t at = FindNoCase(body, marker);
    if (at == std::string::npos)
        return {};
    std::string digits;
    for (std::size_t i = at + marker.size(); i < body.size() && body[i] >= '0' && body[i] <= '9' && digits.size() < 18; ++i)
        digits += body[i];
    return digits;
}

THTTPTrackerOutcome SendTrackerReport(const THTTPConnectionFactory &factory, THTTPTrackerKind kind,
                                      const std::string &address, const std::string &proxyText,
                                      const THTTPTrackerRequest &request)
{
    THTTPTrackerOutcome outcome;
    std::unique_ptr<THTTPConnectionBase> connection = factory(address, proxyText);
    if (!connection)
        return outcome;
    std::unique_ptr<THTTPSendReport> sender;
    switch (kind) {
    case THTTPTrackerKind::BugZilla:
        sender = std::make_unique<THTTPBugzillaSendReport>(*connection, request);
        break;
    case THTTPTrackerKind::FogBugz:
        sender = std::make_unique<THTTPFogBugzSendReport>(*connection, request);
        break;
    case THTTPTrackerKind::Mantis:
        sender = std::make_unique<THTTPMantisSendReport>(*connection, request);
        break;
    }
    if (!sender)
        return outcome;
    outcome.code = sender->send();
    outcome.statusCode = connection->response().statusCode;
    outcome.statusText = connection->response().statusText;
    if (outcome.statusText.empty())
        outcome.statusText = connection->lastErrorText();
    return outcome;
}

} // namespace crashreport
