// One SMTP session with a 1 MB archive to a loopback server (aiosmtpd,
// started here): wall time and the share of it spent waiting for the server,
// median and spread over repeated runs. Reference measured in the same run:
// building the message alone (MIME layout and base64 of the archive).
// Target: a whole session under 200 ms.

#include "MailMessage.h"
#include "SmtpSession.h"
#include "TestProcess.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <time.h>

using namespace crashreport;

namespace {

struct Spread {
    double median, low, high;
};

double threadCpuMs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

Spread spread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return { values[values.size() / 2], values.front(), values.back() };
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    char pattern[] = "/tmp/mail-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::filesystem::path dir(pattern);
    std::filesystem::create_directories(dir / "out");

    std::string archive(1 << 20, '\0');
    std::mt19937 random(1);
    for (char &c : archive)
        c = static_cast<char>(random());
    std::ofstream(dir / "BugReport.zip", std::ios::binary) << archive;

    const int port = mailtest::FreeTcpPort();
    mailtest::TestProcess server({ "/usr/bin/python3", std::string(MAIL_TEST_DIR) + "/smtp_server.py", "--port",
        std::to_string(port), "--outdir", (dir / "out").string() });
    std::string line;
    if (!server.readLine(line, 15000) || line != "READY") {
        std::fprintf(stderr, "the SMTP server did not start\n");
        std::filesystem::remove_all(dir);
        return 1;
    }

    SmtpSessionRequest request;
    request.host = "127.0.0.1";
    request.port = static_cast<std::uint16_t>(port);
    request.mailFrom = "lab@vetu.example";
    request.recipient = "support@vetu.example";
    request.subject = "Vetu crash report";
    request.body = "The program stopped.";
    request.attachments = { { (dir / "BugReport.zip").string(), "BugReport.zip" } };
    request.userName = "Bench";
    request.hostName = "bench";

    std::vector<double> wall, waitShare, cpu, build;
    int failures = 0;
    for (int i = 0; i < runs + 1; ++i) {
        try {
            const double cpuStart = threadCpuMs();
            const SmtpSessionFigures figures = SendMailSession(request);
            const double cpuUsed = threadCpuMs() - cpuStart;
            if (i == 0)
                continue; // warm-up
            wall.push_back(figures.wallSeconds * 1000);
            cpu.push_back(cpuUsed);
            waitShare.push_back(100 * figures.waitingSeconds / figures.wallSeconds);
        } catch (const std::exception &e) {
            ++failures;
            std::fprintf(stderr, "session failed: %s\n", e.what());
        }
        const auto start = std::chrono::steady_clock::now();
        MailMessageParts parts;
        parts.senderHeader = "\"Bench\" <lab@vetu.example>";
        parts.recipient = request.recipient;
        parts.body = request.body;
        parts.attachments = ReadMailAttachments(request.attachments);
        const std::string payload = MailDataPayload(BuildMailMessage(parts));
        build.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (payload.empty())
            ++failures;
    }
    server.stop();
    std::filesystem::remove_all(dir);
    if (wall.empty())
        return 1;

    const Spread w = spread(wall), s = spread(waitShare), c = spread(cpu), b = spread(build);
    std::printf("mail session, 1 MB archive, %zu runs on loopback (aiosmtpd)\n", wall.size());
    std::printf("  session wall time   median %7.1f ms   min %7.1f   max %7.1f   (target < 200 ms: %s)\n", w.median,
        w.low, w.high, w.median < 200 ? "met" : "MISSED");
    std::printf("  waiting for server  median %7.1f %%    min %7.1f   max %7.1f\n", s.median, s.low, s.high);
    std::printf("  client CPU time     median %7.1f ms   min %7.1f   max %7.1f\n", c.median, c.low, c.high);
    std::printf("  reference: building the message alone  median %7.1f ms   min %7.1f   max %7.1f\n", b.median, b.low,
        b.high);
    std::printf("  session / reference  %.1fx\n", w.median / b.median);
    if (failures)
        std::printf("  failed sessions: %d\n", failures);
    return failures ? 1 : 0;
}
