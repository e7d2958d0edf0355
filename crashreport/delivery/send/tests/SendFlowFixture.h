#pragma once
// What the send-flow tests share: the window side recorded (a presenter of the test's own), the
// warnings recorded, a listener that records the send events and can ask for a retry, a private
// temporary folder (TMPDIR) to prove that nothing stays behind, and loopback mail servers.

#include "CrashCapture.h"
#include "CrashModuleOptions.h"
#include "CrashShowStep.h"
#include "CrashTempFolder.h"
#include "CrashWarning.h"
#include "CrashWebStepInUse.h"
#include "TCrashSendFlow.h"
#include "TestProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sendtest
{

struct Box {
    std::string caption;
    std::string text;
    int icon = 0;
};

class RecordingPresenter final : public crashreport::TCrashReportPresenter
{
public:
    crashreport::TCrashShowResult show(
        const crashreport::TCrashShowRequest &, const crashreport::TCrashShowCallbacks &) override
    {
        return {};
    }
    void progressOpen(bool foreground) override;
    void progressUpdate(const std::string &label, int position, int maximum) override;
    void progressClose() override;
    void messageBox(const std::string &caption, const std::string &text, int icon) override;
    bool copyToClipboard(const std::string &text) override;

    std::mutex lock;
    std::vector<std::string> calls; // "open 1", "close", "label text", "bar 40"
    std::vector<Box> boxes;
    std::string clipboard;
    std::string archiveWhileSending; // a copy of BugReport.zip taken at "Sending message..."
    std::function<void()> onOpen;
};

class RecordingWarnings final : public crashreport::CrashWarningSink
{
public:
    void warning(const std::string &code, std::uint64_t, const std::string &message) override
    {
        std::lock_guard guard(lock);
        items.push_back({ code, message });
    }
    std::mutex lock;
    std::vector<std::pair<std::string, std::string>> items;
};

class RecordingListener final : public crashreport::TCrashReportListener
{
public:
    void exceptionActionNotify(const crashreport::TCrashEventRecord &, int action, bool &flag) override;
    void exceptionErrorNotify(const crashreport::TCrashEventRecord &, int code, bool &retry) override;
    void attachedFilesRequest(
        const crashreport::TCrashEventRecord &, std::vector<std::string> &files) override;
    void customWebFieldsRequest(const crashreport::TCrashEventRecord &,
        std::vector<std::pair<std::string, std::string>> &fields) override;

    std::vector<std::string> events; // "action 4", "error 5", "files", "fields"
    int retries = 0; // retry flags still to set
    int cancelAction = -1; // clear the flag of this action
    std::function<void()> onError;
    std::vector<std::string> extraFiles;
};

// A loopback SMTP server (aiosmtpd) writing each accepted mail to outdir; null when it did not
// come up.
std::unique_ptr<mailtest::TestProcess> startSmtpServer(
    const std::string &host, int port, const std::string &outdir, const std::string &login = "user");

std::string readFile(const std::string &path);
// The base64 attachment named name in a MIME message, decoded.
std::string attachmentOf(const std::string &mail, const std::string &name);

class SendFlowTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Options with the given modes, the outcome box off, no progress window.
    crashreport::TCrashModuleOptions options(int mailMode, int webMode) const;
    // A report the user asked to send, logged at dir/log/vetu-config.crashlog.
    crashreport::TCrashSendRequest request() const;
    // Files left in the temporary folder.
    std::vector<std::string> leftInTemp() const;
    std::vector<std::string> warningCodes();

    crashreport::testing::CrashTempFolder m_dir { "send-flow" };
    std::string m_oldTmp;
    bool m_hadTmp = false;
    RecordingPresenter m_presenter;
    RecordingWarnings m_warnings;
    RecordingListener m_listener;
};

} // namespace sendtest
