#include "THTTPConnectionBase.h"

#include "Base64.h"
#include "HtmlScan.h"

#include <algorithm>

namespace crashreport {

namespace {

std::string Lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

std::string PageNameOf(const std::string &url)
{
    std::string path = url;
    if (const std::size_t scheme = path.find("://"); scheme != std::string::npos) {
        const std::size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    path = path.substr(0, path.find_first_of("?#"));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The address named by a Refresh header ("5; URL=page.php"), or "".
std::string RefreshTarget(const std::string &refresh)
{
    const std::size_t url = FindNoCase(refresh, "url=");
    if (url == std::string::npos)
        return {};
    std::string target = refresh.substr(url + 4);
    while (!target.empty() && (target.front() == ' ' || target.front() == '\'' || target.front() == '"'))
        target.erase(target.begin());
    while (!target.empty() && (target.back() == ' ' || target.back() == '\'' || target.back() == '"'))
        target.pop_back();
    return target;
}

} // namespace

THTTPConnectionBase::THTTPConnectionBase(const std::string &address, const std::string &proxyText,
                                         TWebTransferSettings settings)
    : m_address(ParseWebAddress(address, "http")), m_settings(std::move(settings))
{
    m_useProxy = ProxyTextInUse(proxyText) && !ProxyBypassedFor(m_address.host);
    if (m_useProxy)
        m_proxy = ParseProxyText(proxyText);
    m_pagePath = m_address.basePath;
}

THTTPConnectionBase::~THTTPConnectionBase() = default;

void THTTPConnectionBase::setLogin(const std::string &userName, const std::string &password)
{
    m_address.userName = userName;
    m_address.password = password;
}

void THTTPConnectionBase::setProxyLogin(const std::string &userName, const std::string &password)
{
    m_proxy.userName = userName;
    m_proxy.password = password;
}

bool THTTPConnectionBase::connect()
{
    notify(HttpConnecting, 0);
    m_lastError = 0;
    m_lastErrorText.clear();
    if (!m_address.valid || (m_address.scheme != "http" && m_address.scheme != "https")
        || (m_useProxy && !m_proxy.valid)) {
        m_lastErrorText = "Cannot create an HTTP connection with the host: " + m_address.host;
        return false;
    }
    TWebTransferSettings settings = m_settings;
    if (m_useProxy)
        settings.proxy = { m_proxy.host, m_proxy.port, m_proxy.userName, m_proxy.password };
    m_transfer = std::make_unique<TWebTransfer>(settings);
    if (!m_transfer->ready()) {
        m_transfer.reset();
        m_lastErrorText = "Cannot create an HTTP connection with the host: " + m_address.host;
        return false;
    }
    notify(HttpConnected, 0);
    return true;
}

void THTTPConnectionBase::disconnect()
{
    notify(HttpDisconnecting, 0);
    m_transfer.reset();
    notify(HttpDisconnected, 0);
}

void THTTPConnectionBase::notify(int, int) {}

void THTTPConnectionBase::setPage(const std::string &page, THTTPMethod method)
{
    m_pagePath = m_address.basePath + page;
    m_method = method;
    m_fields.clear();
    m_files.clear();
}

void THTTPConnectionBase::addField(const std::string &name, const std::string &value)
{
    m_fields.push_back({ name, value });
}

void THTTPConnectionBase::addFile(const std::string &fieldName, const std::string &path)
{
    m_files.push_back({ fieldName, path, {} });
}

bool THTTPConnectionBase::copyInput(const std::string &name)
{
    const auto value = HtmlInputValue(m_response.body, name);
    if (value)
        addField(name, *value);
    return value.has_value();
}

bool THTTPConnectionBase::copyTextArea(const std::string &name)
{
    const auto value = HtmlTextArea(m_response.body, name);
    if (value)
        addField(name, *value);
    return value.has_value();
}

bool THTTPConnectionBase::copySelection(const std::string &name)
{
    const auto value = HtmlSelectedOption(m_response.body, name);
    if (value)
        addField(name, *value);
    return value.has_value();
}

bool THTTPConnectionBase::chooseOption(const std::string &name, const std::string &text)
{
    const auto value = HtmlOptionByText(m_response.body, name, text);
    if (value)
        addField(name, *value);
    return value.has_value();
}

bool THTTPConnectionBase::countRepetition(const std::string &name)
{
    const std::string title = HtmlInputValue(m_response.body, name).value_or(std::string());
    if (m_repetitionLimit != 0) {
        const auto count = TitleRepetition(title);
        if (count && *count >= m_repetitionLimit)
            return false;
    }
    addField(name, CountTitleRepetition(title));
    return true;
}

bool THTTPConnectionBase::checkResponse(const std::string &page, const std::string &mustContain,
                                        const std::string &mustNotContain) const
{
    if (!page.empty() && Lower(m_response.pageName) != Lower(page))
        return false;
    if (!mustContain.empty() && !ContainsNoCase(m_response.body, mustContain))
        return false;
    if (!mustNotContain.empty() && ContainsNoCase(m_response.body, mustNotContain))
        return false;
    return true;
}

TWebRequest THTTPConnectionBase::buildRequest(const std::string &boundary) const
{
    TWebRequest r;
    std::string host = m_address.host;
    r.url = m_address.scheme + "://" + host + ":" + std::to_string(m_address.port) + m_pagePath;
    switch (m_method) {
    case THTTPMethod::Get:
        r.method = "GET";
        if (!m_fields.empty())
            r.url += (m_pagePath.find('?') == std::string::npos ? "?" : "&") + BuildFormQuery(m_fields);
        break;
    case THTTPMethod::PostForm:
        r.method = "POST";
        r.body = BuildFormQuery(m_fields);
        r.headers.push_back("Content-Type: application/x-www-form-urlencoded");
        break;
    case THTTPMethod::PostMultipart:
        r.method = "POST";
        r.body = BuildMultipartBody(boundary, m_fields, m_files);
        r.headers.push_back("Content-Type: multipart/form-data; boundary=" + boundary);
        break;
    }
    if (!m_address.userName.empty() || !m_address.password.empty())
        r.headers.push_back("Authorization: Basic " + Base64Encode(m_address.userName + ":" + m_address.password));
    return r;
}

bool THTTPConnectionBase::redirect(const std::string &target)
{
    std::string path = target;
    if (const std::size_t scheme = target.find("://"); scheme != std::string::npos) {
        const TWebAddress other = ParseWebAddress(target, "http");
        if (!other.valid || other.scheme != m_address.scheme || Lower(other.host) != Lower(m_address.host)
            || other.port != m_address.port)
            return false; // another site: its reply stays the final one
        path = other.path;
    } else if (path.empty() || path.front() != '/') {
        const std::string current = m_pagePath.substr(0, m_pagePath.find('?'));
        path = current.substr(0, current.rfind('/') + 1) + path;
    }
    for (char &c : path)
        if (c == ' ' || static_cast<unsigned char>(c) < 0x20)
            c = '+';
    m_pagePath = path;
    m_method = THTTPMethod::Get;
    m_fields.clear();
    m_files.clear();
    return true;
}

bool THTTPConnectionBase::request()
{
    m_response.clear();
    m_lastError = 0;
    m_lastErrorText.clear();
    if (!m_transfer) {
        m_lastErrorText = "Cannot create an HTTP connection with the host: " + m_address.host;
        return false;
    }
    for (int hop = 0;; ++hop) {
        TWebRequest r = buildRequest(RandomMultipartBoundary());
        r.pieceSize = 4096;
        r.onSent = [this](std::uint64_t sent, std::uint64_t total) {
            notify(HttpSending, total ? int(std::min<std::uint64_t>(100, sent * 100 / total)) : 100);
        };
        const TWebTransferResult result = m_transfer->perform(r);
        if (result.error != 0 || result.tooLarge) {
            m_lastError = result.error;
            m_lastErrorText = result.tooLarge ? "The reply of " + r.url + " is too large." : result.errorText;
            m_response.statusCode = result.status;
            m_response.statusText = result.statusText;
            return false;
        }
        std::string target;
        if (result.status == 301 || result.status == 302 || result.status == 303)
            target = WebHeaderValue(result.headers, "Location");
        else if (result.status == 200)
            target = RefreshTarget(WebHeaderValue(result.headers, "Refresh"));
        if (!target.empty()) {
            if (hop >= MaxRedirections) {
                m_lastErrorText = "Too many redirections from " + r.url + ".";
                m_response.statusCode = result.status;
                m_response.statusText = result.statusText;
                return false;
            }
            if (redirect(target))
                continue;
        }
        notify(HttpSent, 0);
        m_response.statusCode = result.status;
        m_response.statusText = result.statusText;
        m_response.headers = result.headers;
        m_response.body = result.body;
        m_response.pageName = PageNameOf(result.effectiveUrl.empty() ? r.url : result.effectiveUrl);
        return true;
    }
}

} // namespace crashreport
