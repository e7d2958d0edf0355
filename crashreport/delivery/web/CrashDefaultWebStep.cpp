#include "CrashDefaultWebStep.h"

#include "CrashModuleOptions.h"
#include "THTTPSendReport.h"
#include "WebUpload.h"

#include <algorithm>

namespace crashreport {

namespace {

// Progress texts and bar positions of the notification states 0 to 9.
struct StateView {
    int textId;
    int position; // -1: unchanged
};
constexpr StateView StateViews[] = {
    { 114, 5 }, { 115, 10 }, { 113, 15 }, { 118, 20 }, { 119, 25 },
    { 120, 25 }, { 116, 25 }, { 117, -1 }, { 121, -1 }, { 122, -1 },
};

class TCrashProgressView {
public:
    TCrashProgressView(const TCrashModuleOptions &options, TCrashWebProgress &progress)
        : m_options(options), m_progress(progress)
    {
    }
    void show(int state, int percent)
    {
        if (state < 0 || state > 9)
            return;
        const StateView &view = StateViews[state];
        if (view.position >= 0)
            m_position = view.position;
        if (state == HttpSending || state == HttpModify)
            m_position = 25 + std::clamp(percent, 0, 100) * 75 / 100;
        m_progress.update(m_options.text(std::size_t(view.textId)), m_position, 100);
    }

private:
    const TCrashModuleOptions &m_options;
    TCrashWebProgress &m_progress;
    int m_position = 0;
};

// The connection of the library's tracker posts: shows each state in the progress window.
class TCrashHTTPConnection : public THTTPConnectionBase {
public:
    TCrashHTTPConnection(const std::string &address, const std::string &proxyText, TWebTransferSettings settings,
                         TCrashProgressView &view)
        : THTTPConnectionBase(address, proxyText, std::move(settings)), m_view(view)
    {
    }
    void notify(int state, int value) override { m_view.show(state, value); }

private:
    TCrashProgressView &m_view;
};

std::string AddressText(const TWebAddress &a)
{
    std::string text = a.scheme + "://" + a.host + ":" + std::to_string(a.port) + a.path;
    return text;
}

TCrashWebStepResult Upload(const TCrashWebStepRequest &request, TCrashProgressView &view)
{
    const TCrashModuleOptions &options = *request.options;
    const int mode = options.webMode();
    const std::string protocol = mode == 1 ? "HTTP" : mode == 2 ? "HTTPS" : "FTP";
    TCrashWebStepResult result;
    result.warningCode = mode == 1 ? "eeWebHTTPError" : mode == 2 ? "eeWebHTTPSError" : "eeWebFTPError";

    TWebUploadRequest up;
    up.address = CrashWebDestination(options);
    up.files = request.packageFiles;
    for (const auto &[name, value] : request.customFields)
        up.fields.push_back({ name, value });
    up.settings = CrashWebTransferSettings(options);
    if (mode == 3 || ProxyBypassedFor(up.address.host))
        up.settings.proxy = {}; // FTP and local names go straight to their server
    up.onProgress = [&](int percent) { view.show(HttpSending, percent); };
    if (!up.address.valid) {
        result.warningText = CrashWebErrorText(protocol, 3 /* CURLE_URL_MALFORMAT */,
                                               "invalid address \"" + options.webAddress() + "\"");
        return result;
    }
    view.show(HttpConnecting, 0);
    view.show(HttpConnected, 0);
    const TWebUploadResult sent = mode == 3 ? UploadByFtp(up) : UploadByHttp(up);
    if (sent.code == 0) {
        view.show(HttpSent, 0);
        result.sent = true;
        result.warningCode.clear();
    } else if (sent.code == -1) {
        result.warningText = CrashWebErrorText(protocol, -1, {}) + " - Cannot find the \"libcurl.so.4\" library.";
    } else {
        result.warningText = CrashWebErrorText(protocol, sent.code, sent.reply);
    }
    view.show(HttpDisconnecting, 0);
    view.show(HttpDisconnected, 0);
    return result;
}

TCrashWebStepResult Tracker(const TCrashWebStepRequest &request, TCrashProgressView &view)
{
    const TCrashModuleOptions &options = *request.options;
    THTTPTrackerRequest r;
    r.applicationVersion = request.applicationVersion;
    r.extraFields = { { "FogBugzTrialID", request.trialId.empty() ? options.trackerIdentifier() : request.trialId },
                      { "OSType", request.osType },
                      { "OSBuild", request.osBuild },
                      { "ReproduceText", request.reproduceText } };
    r.attachment = request.packageFiles.empty() ? std::string() : request.packageFiles.front();
    r.assignee = options.trackerAssignee();
    r.category = options.trackerCategory();
    r.project = options.trackerProject();
    r.login = options.trackerLogin();
    r.password = options.trackerPassword();
    r.bugId = request.bugId;
    r.exceptionMessage = request.exceptionMessage;
    r.exceptionClass = request.exceptionClass;

    const TWebAddress destination = CrashWebDestination(options);
    const TWebTransferSettings settings = CrashWebTransferSettings(options);
    const THTTPConnectionFactory factory = [&](const std::string &address, const std::string &proxyText) {
        auto connection = std::make_unique<TCrashHTTPConnection>(address, proxyText, settings, view);
        connection->setLogin(destination.userName, destination.password);
        connection->setProxyLogin(options.proxyUser(), options.proxyPassword());
        return std::unique_ptr<THTTPConnectionBase>(std::move(connection));
    };
    const auto kind = static_cast<THTTPTrackerKind>(options.webMode());
    const THTTPTrackerOutcome outcome =
        SendTrackerReport(factory, kind, AddressText(destination), CrashProxyText(options), r);

    TCrashWebStepResult result;
    result.trackerCode = outcome.code;
    result.sent = outcome.code == TrackerSent || outcome.code == TrackerClosed;
    if (!result.sent) {
        result.warningCode = "eeWebTrakerError";
        result.warningText = CrashTrackerErrorText(options, outcome.code, outcome.statusCode, outcome.statusText);
    }
    return result;
}

} // namespace

TWebAddress CrashWebDestination(const TCrashModuleOptions &options)
{
    const int mode = options.webMode();
    std::string text = options.webAddress();
    TWebAddress address;
    if (mode >= 1 && mode <= 3) {
        if (const std::size_t scheme = text.find("://"); scheme != std::string::npos)
            text.erase(0, scheme + 3);
        address = ParseWebAddress(text, mode == 1 ? "http" : mode == 2 ? "https" : "ftp");
    } else {
        address = ParseWebAddress(text, "http");
    }
    if (options.webPort() != 0) {
        address.port = std::uint16_t(std::min<std::uint32_t>(options.webPort(), 65535));
    }
    if (!options.webUser().empty())
        address.userName = options.webUser();
    if (!options.webPassword().empty())
        address.password = options.webPassword();
    return address;
}

std::string CrashProxyText(const TCrashModuleOptions &options)
{
    std::string text = options.proxyAddress();
    if (text.empty())
        return {};
    if (const std::size_t scheme = text.find("://"); scheme != std::string::npos)
        text.erase(0, scheme + 3);
    const std::size_t slash = text.find('/');
    const std::string authority = text.substr(0, slash);
    const bool hasPort = authority.find(':') != std::string::npos && authority.back() != ']';
    if (!hasPort && options.proxyPort() != 0)
        text.insert(authority.size(), ":" + std::to_string(options.proxyPort()));
    return text;
}

TWebTransferSettings CrashWebTransferSettings(const TCrashModuleOptions &options)
{
    TWebTransferSettings settings;
    settings.caFile = options.caFile();
    const std::string proxyText = CrashProxyText(options);
    if (ProxyTextInUse(proxyText)) {
        const TWebAddress proxy = ParseProxyText(proxyText);
        settings.proxy.host = proxy.host;
        settings.proxy.port = proxy.port;
        settings.proxy.userName = options.proxyUser().empty() ? proxy.userName : options.proxyUser();
        settings.proxy.password = options.proxyPassword().empty() ? proxy.password : options.proxyPassword();
    }
    return settings;
}

std::string CrashWebErrorText(const std::string &protocol, int code, const std::string &reply)
{
    std::string text = protocol + " error code: " + std::to_string(code);
    if (!reply.empty())
        text += " (" + reply + ")";
    return text;
}

std::string CrashTrackerErrorText(const TCrashModuleOptions &options, int code, int statusCode,
                                  const std::string &reason)
{
    static constexpr int TextOfCode[] = { 147, 148, 150, 149, 151, 152 }; // codes 2 to 7
    const int id = code >= 2 && code <= 7 ? TextOfCode[code - 2] : 147;
    return options.text(std::size_t(id)) + "\r\n\r\nError Code: " + std::to_string(statusCode)
        + "\r\nError Message: \"" + reason + "\"";
}

TCrashWebStepResult TCrashDefaultWebStep::send(const TCrashWebStepRequest &request, TCrashWebProgress &progress)
{
    TCrashWebStepResult result;
    try {
        if (!request.options)
            return result;
        TCrashProgressView view(*request.options, progress);
        const int mode = request.options->webMode();
        if (mode >= 1 && mode <= 3)
            return Upload(request, view);
        if (mode >= 4 && mode <= 6)
            return Tracker(request, view);
        return result;
    } catch (const std::exception &e) {
        result.warningCode = "eeWebHTTPError";
        result.warningText = std::string("[Web] ") + e.what();
    } catch (...) {
        result.warningCode = "eeWebHTTPError";
        result.warningText = "General 'Web' error.";
    }
    return result;
}

TCrashWebStep &CrashDefaultWebStep()
{
    static TCrashDefaultWebStep step;
    return step;
}

} // namespace crashreport
