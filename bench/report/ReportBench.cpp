// Log-file and report-building speed. Each figure is also given as a ratio against copying the
// same bytes through a plain read and an fsync-ed write in the same run, so that the numbers
// can be compared across machines.

#include "CrashModuleOptions.h"
#include "FixedReportClock.h"
#include "OptionsReportTexts.h"
#include "TCrashReportBuilder.h"
#include "ReportItems.h"
#include "TLogItem.h"
#include "TLogFile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <malloc.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace crashreport;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsOf(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Median and spread of repeated runs: the spread is the interquartile range (the middle half
// of the runs lies within it), so one disturbed run neither makes nor spoils a figure.
struct Figure {
    double median = 0;
    double low = 0;  // first quartile
    double high = 0; // third quartile
    int runs = 0;
};

double quantile(const std::vector<double> &sorted, double q)
{
    const double at = q * double(sorted.size() - 1);
    const std::size_t i = std::size_t(at);
    const double frac = at - double(i);
    return i + 1 < sorted.size() ? sorted[i] * (1 - frac) + sorted[i + 1] * frac : sorted[i];
}

template <class F> Figure measure(int runs, F &&f)
{
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        ms.push_back(millisecondsOf(Clock::now() - start));
    }
    std::sort(ms.begin(), ms.end());
    return Figure { quantile(ms, 0.5), quantile(ms, 0.25), quantile(ms, 0.75), runs };
}

// "12.345 ms (IQR 12.100-12.900, 15 runs)"
std::string show(const Figure &f, int decimals = 3)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "%9.*f ms (IQR %.*f-%.*f, %d runs)", decimals, f.median, decimals, f.low, decimals,
                  f.high, f.runs);
    return buf;
}

// A report of the size a real crash gives: 60 stack entries in 4 threads, 120 modules,
// 250 processes, assembler and CPU sections.
struct RealisticInput {
    TCrashStackList stack;
    ReportInput input;

    explicit RealisticInput(int variant)
    {
        std::vector<TCrashModulePtr> modules;
        for (int m = 0; m < 120; ++m) {
            auto mod = std::make_shared<TCrashModule>();
            mod->handle = mod->startAddress = 0x7F0000000000ull + std::uint64_t(m) * 0x1000000;
            mod->endAddress = mod->startAddress + 0x800000;
            mod->fileName = "/usr/lib/x86_64-linux-gnu/libmodule" + std::to_string(m) + ".so.6";
            mod->description = m % 3 ? "" : "Library number " + std::to_string(m);
            mod->version = "6." + std::to_string(m % 10) + ".2";
            mod->size = 100000 + std::uint64_t(m) * 4321;
            mod->modified = 1796825109 - m * 3600;
            modules.push_back(mod);
        }
        for (int e = 0; e < 60; ++e) {
            TCrashStackEntry entry;
            entry.kind = e % 4 == 3 ? StackKindProcedure : StackKindLine;
            entry.module = modules[std::size_t(e % 120)];
            entry.threadId = 4242 + std::uint64_t(e / 15);
            entry.groupStart = e == 0;
            entry.address = entry.module->startAddress + std::uint64_t(e) * 0x40;
            entry.unitName = "SourceFile" + std::to_string(e % 7) + ".cpp";
            entry.className = "TClass" + std::to_string(e % 5);
            entry.procedureName = "procedureNumber" + std::to_string(e);
            entry.line = entry.kind == StackKindLine ? std::uint32_t(100 + e) : 0;
            entry.lineOffset = std::uint32_t(e % 9);
            stack.add(std::move(entry));
        }
        input.stack = &stack;
        input.modules = modules;
        for (int p = 0; p < 250; ++p)
            input.processes.push_back(TCrashProcess { std::uint32_t(100 + p * 7), "/usr/bin/process" + std::to_string(p),
                                                      "process" + std::to_string(p), "", TCrashPriorityClass::Normal,
                                                      std::uint64_t(p) * 123456, std::uint32_t(1 + p % 9) });
        input.application = ApplicationValues { 1796825109 - 7265, "vetu-config", "Vetu configuration", "1.04.1",
                                                "/opt/vetu/vetu-config /media/me/VETU", 1796825109 - 86400 };
        input.exception.time = 1796825109 + variant;
        input.exception.address = modules[0]->startAddress + 0x40;
        input.exception.typeName = "vetu::IniWriteError";
        input.exception.message = "Unable to write to /media/me/VETU/Configuration.ini (" + std::to_string(variant) + ")";
        input.exception.bugId = "3F2A";
        input.user = UserValues { "hydro", "Hanna Hydrolog", "", "", "User" };
        input.computer.name = "field-laptop";
        input.computer.totalMemory = 16ull << 30;
        for (int i = 0; i < 21; ++i)
            input.assembler.push_back(TCrashAsmInstruction { input.exception.address - 40 + std::uint64_t(i) * 4,
                                                            "mov rax, qword ptr [rbx + " + std::to_string(i * 8) + "]", i == 10,
                                                            "SourceFile0.cpp", "TClass0.procedureNumber0", std::uint32_t(100 + i / 5), 3 });
        input.registers.valid = true;
        input.stackDump.assign(128, 0x41);
        input.memoryDump.assign(256, 0x90);
    }
};

std::string readAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeSynced(const std::string &path, const std::string &text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    if (::write(fd, text.data(), text.size()) < 0)
        std::perror("write");
    ::fsync(fd);
    ::close(fd);
}


// A report whose item 2.6 holds the given number of lines.
std::string reportWithLongItem(const TCrashReportBuilder &builder, const ReportOptions &options, int lines)
{
    RealisticInput realistic(0);
    std::string message;
    for (int i = 0; i < lines; ++i)
        message += "line " + std::to_string(i) + ": some text of the message\n";
    realistic.input.exception.message = message;
    return builder.build(realistic.input, options).report;
}

} // namespace

int main()
{
    // Keep freed memory in the process: with the default thresholds every large string is a
    // fresh mapping whose pages fault in again on each run, and on a virtual machine those
    // faults, not the code, would make the figures.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    TCrashModuleOptions options;
    OptionsReportTexts texts(options);
    FixedReportClock clock(1796825109, 3600);
    const TCrashReportBuilder builder(texts, clock);
    const ReportOptions reportOptions = reportOptionsFrom(options);

    RealisticInput realistic(0);
    CrashReportText one;
    const Figure build = measure(21, [&] { one = builder.build(realistic.input, reportOptions); });

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("bench-report-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string logName = (dir / "vetu-config.crashlog").string();
    {
        TLogFile log(logName);
        for (int i = 0; i < 32; ++i)
            log.addReport(builder.build(RealisticInput(i).input, reportOptions).report, 32);
        log.save();
    }
    const std::size_t logBytes = std::filesystem::file_size(logName);

    std::size_t count = 0;
    const Figure read = measure(15, [&] { count = TLogFile(logName).count(); });
    TLogFile log(logName);
    const Figure add = measure(15, [&] { log.addReport(one.report, 32); });
    const Figure save = measure(15, [&] { log.save(); });
    const Figure replace = measure(15, [&] { log.replaceItem(31, "3.3", "hanna@example.org", "Email"); });
    const Figure xml = measure(7, [&] { (void)log.toXml(); });

    // Reference: the same bytes read plainly and written with one fsync.
    std::string raw;
    const Figure rawRead = measure(15, [&] { raw = readAll(logName); });
    const std::string copyName = (dir / "copy.crashlog").string();
    const Figure rawWrite = measure(15, [&] { writeSynced(copyName, raw); });

    std::printf("report size: %zu bytes; log: %zu reports, %zu bytes\n", one.report.size(), count, logBytes);
    std::printf("figures are medians with their interquartile range\n");
    std::printf("build one report:        %s\n", show(build).c_str());
    std::printf("read log (32 reports):   %s  = %.2f x a plain read of the file (%.3f ms)\n", show(read).c_str(),
                read.median / rawRead.median, rawRead.median);
    std::printf("add one report:          %s\n", show(add, 4).c_str());
    std::printf("save log (32 reports):   %s  = %.2f x a plain fsync-ed write (%.3f ms)\n", show(save).c_str(),
                save.median / rawWrite.median, rawWrite.median);
    std::printf("replace an item:         %s\n", show(replace, 4).c_str());
    std::printf("log as XML:              %s\n", show(xml).c_str());

    // Replacing an item of n lines by another of n lines, against reading the same item back
    // (a plain scan of its lines, measured in the same run). With work proportional to the item
    // the ratio stays flat as n grows; a quadratic replace would double it with every doubling.
    std::printf("\nreplace item 2.6 of n lines by n new lines, against reading it (target: ratio flat in n)\n");
    for (const int n : { 1000, 4000, 16000, 64000, 256000 }) {
        const std::string base = reportWithLongItem(builder, reportOptions, n);
        std::string value;
        for (int i = 0; i < n; ++i)
            value += "new line " + std::to_string(i) + ": other text\n";
        std::string work = base;
        const int runs = n >= 64000 ? 7 : 11;
        const Figure f = measure(runs, [&] {
            work.assign(base);
            replaceReportItem(work, "2.6", value);
        });
        const Figure copy = measure(runs, [&] { work.assign(base); });
        const Figure read = measure(runs, [&] { (void)readReportItem(base, "2.6"); });
        const double replaceOnly = std::max(0.0, f.median - copy.median);
        std::printf("  n = %6d: replace %s, %.0f ns per line; read %s; replace/read = %.2f\n", n, show(f).c_str(),
                    replaceOnly * 1e6 / n, show(read).c_str(), replaceOnly / read.median);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
