// Upload of a 5 MB archive to the loopback HTTP server of the tests (web_server.py, started
// here): our multipart upload (1024-byte pieces, progress after each) against the curl program
// posting the same file with -F to the same server, alternating, in one run. Prints the median
// and spread (lowest to highest) of each in milliseconds and the ratio of the medians.
// Target: ours at most 1.2 times curl's. curl's figure includes starting its process (a few ms).

#include "WebTestServers.h"
#include "WebUpload.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace crashreport;

namespace {

struct Spread {
    double median, low, high;
};

Spread spread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return { values[values.size() / 2], values.front(), values.back() };
}

double millisecondsOf(const auto &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 15;
    crashreport::testing::CrashTempFolder dir("web-bench");
    const std::string file = dir.file("BugReport.zip");
    webtest::WriteFile(file, webtest::RandomBytes(5u << 20, 1));
    webtest::WebServer server;
    if (!server.start(dir.file("out"), "upload")) {
        std::fprintf(stderr, "bench_web: the upload server did not start\n");
        return 1;
    }
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/upload";

    TWebUploadRequest request;
    request.address = ParseWebAddress(url);
    request.files = { file };
    int progressCalls = 0;
    request.onProgress = [&](int) { ++progressCalls; };
    const std::string curl = "curl -s -o /dev/null -H 'Expect:' -F cr_upload_file_1=@" + file + " " + url;

    std::vector<double> ours, theirs, ratios;
    for (int i = 0; i < runs + 1; ++i) {
        int code = 0;
        const double a = millisecondsOf([&] { code = UploadByHttp(request).code; });
        const double b = millisecondsOf([&] { code |= std::system(curl.c_str()); });
        if (code != 0) {
            std::fprintf(stderr, "bench_web: an upload failed\n");
            return 1;
        }
        if (i == 0)
            continue; // the first pair warms the server and the caches
        ours.push_back(a);
        theirs.push_back(b);
        ratios.push_back(a / b);
    }
    const Spread o = spread(ours), t = spread(theirs), r = spread(ratios);
    std::printf("5 MB multipart upload to loopback HTTP, %d runs\n", runs);
    std::printf("  ours:    median %.1f ms (%.1f .. %.1f)\n", o.median, o.low, o.high);
    std::printf("  curl -F: median %.1f ms (%.1f .. %.1f)\n", t.median, t.low, t.high);
    std::printf("  ratio ours/curl: %.2f (pairs: median %.2f, %.2f .. %.2f); target <= 1.20: %s\n",
                o.median / t.median, r.median, r.low, r.high, o.median / t.median <= 1.2 ? "met" : "MISSED");
    std::printf("  progress reports per upload: %d\n", progressCalls / (runs + 1));
    return 0;
}
