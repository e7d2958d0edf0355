// Throw-and-catch cost with the raise hook against the same program without the library, at
// stack depths 10 and 50, and the time of "CrashReport.Init", in one run. Target: at most 1.5x,
// Init at most 1 ms.
//
//   capture_throw_bench [rounds]   (default 5 alternating runs of each probe)

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace
{

struct Figures {
    std::map<int, double> median; // by depth
    double initNs = -1;
};

Figures runProbe(const std::string &program)
{
    Figures f;
    FILE *p = popen(("\"" + program + "\"").c_str(), "r");
    if (!p)
        return f;
    char line[256];
    while (std::fgets(line, sizeof line, p)) {
        int depth = 0;
        double median = 0, lo = 0, hi = 0;
        unsigned long long init = 0;
        if (std::sscanf(line, "DEPTH %d MEDIAN_NS %lf MIN_NS %lf MAX_NS %lf", &depth, &median, &lo, &hi) == 4)
            f.median[depth] = median;
        else if (std::sscanf(line, "INIT_NS %llu", &init) == 1)
            f.initNs = static_cast<double>(init);
    }
    pclose(p);
    return f;
}

void show(const char *name, std::vector<double> v, const char *unit)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return;
    std::printf("%-32s median %10.3f %s  min %10.3f  max %10.3f  (n=%zu)\n", name, v[v.size() / 2], unit,
        v.front(), v.back(), v.size());
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::string with = CAPTURE_THROW_WITH, without = CAPTURE_THROW_WITHOUT;
    std::map<int, std::vector<double>> ratios, withNs, withoutNs;
    std::vector<double> initUs;
    for (int r = 0; r < rounds; ++r) {
        const Figures a = runProbe(without);
        const Figures b = runProbe(with);
        for (const auto &[depth, ns] : a.median) {
            if (!b.median.count(depth))
                continue;
            withoutNs[depth].push_back(ns);
            withNs[depth].push_back(b.median.at(depth));
            ratios[depth].push_back(b.median.at(depth) / ns);
        }
        if (b.initNs >= 0)
            initUs.push_back(b.initNs / 1000.0);
    }
    for (const auto &[depth, v] : ratios) {
        std::printf("depth %d:\n", depth);
        show("  throw+catch without library", withoutNs[depth], "ns");
        show("  throw+catch with library", withNs[depth], "ns");
        show("  ratio (target <= 1.5)", v, "x ");
    }
    show("CrashReport.Init (target <= 1000)", initUs, "us");
    return 0;
}
