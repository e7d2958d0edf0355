// Log-file and report-building speed. Each figure is also given as a ratio against copying the
// same bytes through a plain read and an fsync-ed write in the same run, so that the numbers
// can be compared across machines.

#include "CrashModuleOptions.h"
#include "OptionsReportTexts.h"
#include "TCrashReportBuilder.h"
#include "TLogFile.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

using namespace crashreport;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsOf(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

template <class F> double bestOf(int runs, F &&f)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        f();
        best = std::min(best, millisecondsOf(Clock::now() - start));
    }
    return best;
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

} // namespace

int main()
{
    TCrashModuleOptions options;
    OptionsReportTexts texts(options);
    FixedReportClock clock(1796825109, 3600);
    const TCrashReportBuilder builder(texts, clock);
    const ReportOptions reportOptions = reportOptionsFrom(options);

    RealisticInput realistic(0);
    CrashReportText one;
    const double buildMs = bestOf(20, [&] { one = builder.build(realistic.input, reportOptions); });

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
    const double readMs = bestOf(10, [&] { count = TLogFile(logName).count(); });
    TLogFile log(logName);
    const double addMs = bestOf(10, [&] { log.addReport(one.report, 32); });
    const double saveMs = bestOf(10, [&] { log.save(); });
    const double replaceMs = bestOf(10, [&] { log.replaceItem(31, "3.3", "hanna@example.org", "Email"); });
    const double xmlMs = bestOf(5, [&] { (void)log.toXml(); });

    // Reference: the same bytes read plainly and written with one fsync.
    std::string raw;
    const double rawReadMs = bestOf(10, [&] { raw = readAll(logName); });
    const std::string copyName = (dir / "copy.crashlog").string();
    const double rawWriteMs = bestOf(10, [&] { writeSynced(copyName, raw); });

    std::printf("report size: %zu bytes; log: %zu reports, %zu bytes\n", one.report.size(), count, logBytes);
    std::printf("build one report:        %8.3f ms\n", buildMs);
    std::printf("read log (32 reports):   %8.3f ms  (%.2f x a plain read of the file: %.3f ms)\n", readMs,
                readMs / rawReadMs, rawReadMs);
    std::printf("add one report:          %8.4f ms\n", addMs);
    std::printf("save log (32 reports):   %8.3f ms  (%.2f x a plain fsync-ed write: %.3f ms)\n", saveMs,
                saveMs / rawWriteMs, rawWriteMs);
    std::printf("replace an item:         %8.4f ms\n", replaceMs);
    std::printf("log as XML:              %8.3f ms\n", xmlMs);
    std::filesystem::remove_all(dir);
    return 0;
}
