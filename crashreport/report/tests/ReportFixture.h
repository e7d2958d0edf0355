#pragma once
// A report built from fixed inputs: the same bytes on every machine and every run.

#include "CrashModuleOptions.h"
#include "FixedReportClock.h"
#include "OptionsReportTexts.h"
#include "ReportClock.h"
#include "ReportInput.h"
#include "TCrashReportBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace crashreport::testing {

// 2026-12-09 14:05:09 UTC, a Wednesday.
inline constexpr std::time_t FixedNow = 1796825109;
inline constexpr long FixedOffset = 3600; // one hour east

class FixedThreads final : public ThreadInfoSource {
public:
    std::optional<ThreadValues> thread(std::uint64_t id) const override
    {
        if (id == 1001)
            return ThreadValues { "Normal", "", true };
        if (id == 1002)
            return ThreadValues { "Above-Normal", "TWorkerThread", false };
        return std::nullopt;
    }
};

inline TCrashModulePtr makeModule(std::uint64_t handle, const std::string &path, const std::string &description,
                                  const std::string &version, std::uint64_t size, std::time_t modified)
{
    auto m = std::make_shared<TCrashModule>();
    m->handle = m->startAddress = handle;
    m->endAddress = handle + 0x100000;
    m->fileName = path;
    m->description = description;
    m->version = version;
    m->size = size;
    m->modified = modified;
    return m;
}

inline TCrashStackEntry entry(std::uint8_t kind, TCrashModulePtr module, std::uint64_t thread, std::uint64_t address,
                              std::string unit, std::string cls, std::string proc, std::uint32_t line = 0,
                              std::uint32_t offset = 0, bool groupStart = false, std::uint8_t groupKind = 1)
{
    TCrashStackEntry e;
    e.kind = kind;
    e.module = std::move(module);
    e.threadId = thread;
    e.address = address;
    e.unitName = std::move(unit);
    e.className = std::move(cls);
    e.procedureName = std::move(proc);
    e.line = line;
    e.lineOffset = offset;
    e.groupStart = groupStart;
    e.groupKind = groupKind;
    return e;
}

struct ReportFixture {
    TCrashModuleOptions crashOptions; // the default (English) texts
    OptionsReportTexts texts { crashOptions };
    FixedReportClock clock { FixedNow, FixedOffset };
    FixedThreads threads;
    TCrashStackList stack;
    ReportInput input;
    ReportOptions options;

    ReportFixture()
    {
        const TCrashModulePtr program
            = makeModule(0x555555554000, "/opt/vetu/vetu-config", "Vetu configuration", "1.04.1", 1834512, FixedNow - 86400);
        const TCrashModulePtr qt = makeModule(0x7FFFF7A00000, "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6", "",
                                              "6.4.2", 6271384, FixedNow - 86400 * 200);
        const TCrashModulePtr libc
            = makeModule(0x7FFFF7800000, "/lib/x86_64-linux-gnu/libc.so.6", "GNU C Library", "2.36", 1922136, 0);

        stack.add(entry(StackKindLine, program, 1001, 0x555555559A10, "EquationEditor.cpp", "TMainForm",
                        "SaveVelocitySettingsButtonClick", 212, 14, true));
        stack.add(entry(StackKindLine, program, 1001, 0x55555555A3C4, "EquationEditor.cpp", "TMainForm",
                        "ValidateEquationSet", 148, 6));
        stack.add(entry(StackKindModule, qt, 1001, 0x7FFFF7A81234, "", "", ""));
        stack.add(entry(StackKindProcedure, qt, 1001, 0x7FFFF7A91000, "", "", "QObject::event"));
        stack.add(entry(StackKindUnit, program, 1001, 0x55555555B000, "main.cpp", "", "main"));
        stack.add(entry(StackKindLine, program, 1002, 0x55555555C100, "Worker.cpp", "TWorker", "run|loop", 33, 2));
        stack.add(entry(StackKindLine, program, 1002, 0x55555555C200, "Worker.cpp", "TWorker", "start", 20, 1, false, 0));
        stack.add(entry(StackKindProcedure, libc, 1003, 0x7FFFF7812345, "", "", "clone3"));
        stack.add(entry(StackKindHidden, nullptr, 1003, 0x1234, "", "", ""));

        ApplicationValues &app = input.application;
        app.startTime = FixedNow - (2 * 3600 + 60 + 5);
        app.moduleName = "vetu-config";
        app.description = "Vetu configuration";
        app.version = "1.04.1";
        app.commandLine = "/opt/vetu/vetu-config /media/me/VETU";
        app.buildTime = FixedNow - 3 * 86400;

        ExceptionValues &ex = input.exception;
        ex.time = FixedNow;
        ex.address = 0x555555559A10;
        ex.moduleName = "vetu-config";
        ex.moduleVersion = "1.04.1";
        ex.typeName = "vetu::IniWriteError";
        ex.message = "Unable to write to /media/me/VETU/Configuration.ini";
        ex.bugId = "3F2A";

        input.user = UserValues { "hydro", "Hanna Hydrolog", "", "", "User" };
        input.controls = ActiveControlValues { "TMainForm", "Vetu", "QLineEdit", "secret", true };
        ComputerValues &pc = input.computer;
        pc.name = "field-laptop";
        pc.totalMemory = 16ull * 1024 * 1024 * 1024;
        pc.freeMemory = 9876ull * 1024 * 1024 + 700 * 1024;
        pc.totalDisk = 512ull * 1000 * 1000 * 1000;
        pc.freeDisk = 123ull * 1000 * 1000 * 1000;
        pc.upTimeSeconds = 3 * 86400 + 4 * 3600 + 1 * 60 + 2;
        pc.processor = "4 x Intel(R) Core(TM) i5-8250U CPU @ 1.60GHz";
        pc.display = DisplayValues { 1920, 1080, 24, 96 };
        pc.videoCard = "i915 [8086:5917]";
        pc.printer = "Office_Laser";
        input.operatingSystem = OsValues { "Debian GNU/Linux 12 (bookworm) (64 bit)", "6.1.0-28-amd64",
                                           "#1 SMP PREEMPT_DYNAMIC Debian 6.1.119-1", "de_DE", "UTF-8" };
        input.network = NetworkValues { "192.0.2.15", "255.255.255.0", "192.0.2.1", "192.0.2.53", "", "Yes" };

        input.stack = &stack;
        input.modules = { program, libc, qt };
        input.processes = {
            TCrashProcess { 1, "/usr/lib/systemd/systemd", "systemd", "", TCrashPriorityClass::Normal, 12734464, 1 },
            TCrashProcess { 4242, "/opt/vetu/vetu-config", "vetu-config", "1.04.1", TCrashPriorityClass::Normal, 73400320, 3 },
            TCrashProcess { 4300, "", "kworker/0:1", "", TCrashPriorityClass::High, 0, 0 },
        };

        const std::string unit = "EquationEditor.cpp", procedure = "TMainForm.SaveVelocitySettingsButtonClick";
        input.assembler = {
            TCrashAsmInstruction { 0x555555559A00, "push rbp", false, unit, procedure, 211, 13 },
            TCrashAsmInstruction { 0x555555559A01, "mov rbp, rsp", false, unit, procedure, 211, 13 },
            TCrashAsmInstruction { 0x555555559A10, "call 0x555555560000 ; vetu::writeKey", true, unit, procedure, 212, 14 },
            TCrashAsmInstruction { 0x555555559A15, "ret", false, unit, procedure, 212, 14 },
        };
        TCrashCpuContext &r = input.registers;
        r.valid = true;
        r.rax = 0x1, r.rbx = 0x2, r.rcx = 0x3, r.rdx = 0x4, r.rsi = 0x5, r.rdi = 0x6;
        r.rbp = 0x7FFFFFFFE040, r.rsp = 0x7FFFFFFFE000, r.rip = 0x555555559A10;
        r.r8 = 0x8, r.r9 = 0x9, r.r10 = 0xA, r.r11 = 0xB, r.r12 = 0xC, r.r13 = 0xD, r.r14 = 0xE;
        r.r15 = 0xFEDCBA9876543210;
        input.stackDumpAddress = 0x7FFFFFFFE000;
        for (int i = 0; i < 128; ++i)
            input.stackDump.push_back(std::uint8_t(i * 3));
        input.memoryDumpAddress = 0x555555559A10;
        for (int i = 0; i < 256; ++i)
            input.memoryDump.push_back(std::uint8_t(i));
        input.customData = { { "Device", "VETU 2.1" }, { "Last action", "Save: set 5\nwith new offset" } };
    }

    CrashReportText build() const { return TCrashReportBuilder(texts, clock, &threads).build(input, options); }
};

// The parts a reader found in a report against the parts the builder made.
inline void expectSameParts(const ReportParts &found, const ReportParts &built)
{
    EXPECT_EQ(found.general, built.general);
    EXPECT_EQ(found.callStack, built.callStack);
    EXPECT_EQ(found.modules, built.modules);
    EXPECT_EQ(found.processes, built.processes);
    EXPECT_EQ(found.assembler, built.assembler);
    EXPECT_EQ(found.cpu, built.cpu);
    EXPECT_EQ(found.custom, built.custom);
}

inline std::string goldenPath(const std::string &name)
{
    return std::string(CRASH_REPORT_GOLDEN_DIR) + "/" + name;
}

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

inline bool updatingGolden()
{
    const char *v = std::getenv("VETU_UPDATE_GOLDEN");
    return v && *v && std::string(v) != "0";
}

// The lines that differ between two texts, in the form of "diff": "-" and the line number in the
// expected text, "+" and the line number in the actual text. Lines are compared by a longest common
// subsequence; texts too long for that are compared line by line.
inline std::string lineDiff(const std::string &expected, const std::string &actual)
{
    auto lines = [](const std::string &text) {
        std::vector<std::string> out;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            end = end == std::string::npos ? text.size() : end + 1;
            std::string line = text.substr(start, end - start);
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
                line.pop_back();
            out.push_back(line);
            start = end;
        }
        return out;
    };
    const std::vector<std::string> a = lines(expected), b = lines(actual);
    std::ostringstream out;
    const std::size_t maxShown = 40;
    std::size_t shown = 0;
    auto addLine = [&](char sign, std::size_t lineNumber, const std::string &text) {
        if (shown++ < maxShown)
            out << sign << lineNumber << ": " << text << "\n";
    };
    if (a.size() * b.size() > 4'000'000) {
        for (std::size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
            if (i < a.size() && i < b.size() && a[i] == b[i])
                continue;
            if (i < a.size())
                addLine('-', i + 1, a[i]);
            if (i < b.size())
                addLine('+', i + 1, b[i]);
        }
    } else {
        std::vector<std::vector<std::uint32_t>> common(a.size() + 1, std::vector<std::uint32_t>(b.size() + 1, 0));
        for (std::size_t i = a.size(); i-- > 0;)
            for (std::size_t j = b.size(); j-- > 0;)
                common[i][j] = a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
        std::size_t i = 0, j = 0;
        while (i < a.size() || j < b.size()) {
            if (i < a.size() && j < b.size() && a[i] == b[j]) {
                ++i, ++j;
            } else if (i < a.size() && (j == b.size() || common[i + 1][j] >= common[i][j + 1])) {
                addLine('-', i + 1, a[i]);
                ++i;
            } else {
                addLine('+', j + 1, b[j]);
                ++j;
            }
        }
    }
    if (shown > maxShown)
        out << "... " << shown - maxShown << " more differing lines\n";
    return out.str();
}

// Compares a text with a committed file. With VETU_UPDATE_GOLDEN set the file is rewritten with
// the new text, and the test still fails when that changed it, so that no run passes by
// rewriting its own expectation.
inline void expectGoldenIn(const std::string &path, const std::string &actual)
{
    const std::string expected = readFile(path);
    if (updatingGolden() && expected != actual) {
        writeFile(path, actual);
        ADD_FAILURE() << "golden file " << path << " rewritten; it changed:\n" << lineDiff(expected, actual);
        return;
    }
    ASSERT_FALSE(expected.empty()) << "missing golden file " << path << " (VETU_UPDATE_GOLDEN=1 writes it)";
    EXPECT_TRUE(expected == actual) << "differs from " << path << ":\n" << lineDiff(expected, actual);
}

inline void expectGolden(const std::string &name, const std::string &actual)
{
    expectGoldenIn(goldenPath(name), actual);
}

} // namespace crashreport::testing
