#pragma once
// A browser-like HTTP(S) session with one site: the page requests of the tracker dialogues.
// The request and its body are built here; TWebTransfer carries them.
//
// Redirections are followed here, not by libcurl: a 301, 302 or 303 reply with a Location, and
// a 200 reply with a Refresh header naming an address, become a GET of the new page with the
// field and file lists cleared. Only pages of the same site are followed, at most
// MaxRedirections times in a row; a longer chain ends the request as failed.

#include "FormBody.h"
#include "THTTPResponse.h"
#include "WebAddress.h"
#include "WebTransfer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace crashreport {

enum class THTTPMethod : int { Get = 0, PostForm = 1, PostMultipart = 2 };

// Notification states (see notify()).
enum THTTPState : int {
    HttpConnecting = 0, HttpConnected, HttpLogin, HttpSelectProject, HttpSearch, HttpModify, HttpSending,
    HttpSent, HttpDisconnecting, HttpDisconnected
};

class THTTPConnectionBase {
public:
    static constexpr int MaxRedirections = 10;

    // Parses the address and the proxy text; connect() opens the session.
    THTTPConnectionBase(const std::string &address, const std::string &proxyText,
                        TWebTransferSettings settings = {});
    virtual ~THTTPConnectionBase();
    THTTPConnectionBase(const THTTPConnectionBase &) = delete;
    THTTPConnectionBase &operator=(const THTTPConnectionBase &) = delete;

    virtual bool connect();
    virtual void disconnect();
    // State 0..9; value is the percentage sent for state 6, else 0.
    virtual void notify(int state, int value);

    const TWebAddress &address() const { return m_address; }
    const TWebAddress &proxy() const { return m_proxy; }
    bool useProxy() const { return m_useProxy; }
    // Login of the site (basic authorisation) and of the proxy, when set apart from the texts.
    void setLogin(const std::string &userName, const std::string &password);
    void setProxyLogin(const std::string &userName, const std::string &password);

    void setPage(const std::string &page, THTTPMethod method);
    const std::string &pagePath() const { return m_pagePath; }
    THTTPMethod method() const { return m_method; }
    void addField(const std::string &name, const std::string &value);
    void addFile(const std::string &fieldName, const std::string &path);
    bool copyInput(const std::string &name);
    bool copyTextArea(const std::string &name);
    bool copySelection(const std::string &name);
    bool chooseOption(const std::string &name, const std::string &text);
    // Adds the input's value with its repetition number counted up; false (and nothing added)
    // when a repetition limit is set and reached.
    bool countRepetition(const std::string &name);
    void setRepetitionLimit(std::uint64_t limit) { m_repetitionLimit = limit; }
    const std::vector<TFormField> &fields() const { return m_fields; }

    // Empty texts stand for "none".
    bool checkResponse(const std::string &page, const std::string &mustContain = {},
                       const std::string &mustNotContain = {}) const;
    bool request();
    const THTTPResponse &response() const { return m_response; }

    // The last transport failure: libcurl's code (0 none) and its words.
    int lastError() const { return m_lastError; }
    const std::string &lastErrorText() const { return m_lastErrorText; }

    // The request as it would go out now: address, headers and body.
    TWebRequest buildRequest(const std::string &boundary) const;

private:
    bool redirect(const std::string &target);

    TWebAddress m_address;
    TWebAddress m_proxy;
    bool m_useProxy = false;
    TWebTransferSettings m_settings;
    std::unique_ptr<TWebTransfer> m_transfer;
    std::string m_pagePath;
    THTTPMethod m_method = THTTPMethod::Get;
    std::vector<TFormField> m_fields;
    std::vector<TFormFile> m_files;
    THTTPResponse m_response;
    std::uint64_t m_repetitionLimit = 0;
    int m_lastError = 0;
    std::string m_lastErrorText;
};

} // namespace crashreport
