#include "CrashShowStep.h"

#include "CrashSendStep.h"

#include <atomic>
#include <cstdio>

namespace crashreport
{

namespace
{
    // Writes the report to standard error and answers as a dialog closed with OK.
    class StandardErrorPresenter final : public TCrashReportPresenter
    {
    public:
        TCrashShowResult show(const TCrashShowRequest &request, const TCrashShowCallbacks &) override
        {
            std::fwrite(request.reportText.data(), 1, request.reportText.size(), stderr);
            std::fputs("\r\n", stderr);
            std::fflush(stderr);
            return {};
        }
    };

    StandardErrorPresenter standardErrorPresenter;
    std::atomic<TCrashReportPresenter *> installedPresenter { nullptr };
    std::atomic<TCrashReportSender *> installedSender { nullptr };
} // namespace

TCrashReportPresenter &CrashReportPresenter()
{
    TCrashReportPresenter *presenter = installedPresenter.load();
    return presenter ? *presenter : standardErrorPresenter;
}

void CrashSetReportPresenter(TCrashReportPresenter *presenter)
{
    installedPresenter.store(presenter);
}

TCrashReportSender *CrashReportSender()
{
    return installedSender.load();
}

void CrashSetReportSender(TCrashReportSender *sender)
{
    installedSender.store(sender);
}

} // namespace crashreport
