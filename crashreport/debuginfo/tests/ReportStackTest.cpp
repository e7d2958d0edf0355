// A real fault in this program, walked from the signal context and printed with the report's
// call-stack, modules and processes tables.
#include "CpuSection.h"
#include "CrashDisassembler.h"
#include "CrashProcessesList.h"
#include "CrashStackList.h"
#include "ReportClock.h"
#include "ReportFormat.h"
#include "ReportTables.h"
#include "TCrashReportBuilder.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <ucontext.h>

using namespace crashreport;

namespace
{

class EnglishTexts final : public ReportTexts
{
public:
    std::string text(int id) const override
    {
        static const std::map<int, std::string> texts = {
            { 8, "Call Stack Information" },
            { 10, "Modules Information" },
            { 12, "Processes Information" },
            { 14, "Assembler Information" },
            { 92, "Address" },
            { 93, "Module" },
            { 94, "Unit" },
            { 95, "Class" },
            { 96, "Procedure/Method" },
            { 97, "Line" },
            { 98, "Main" },
            { 99, "Exception Thread" },
            { 100, "Running Thread" },
            { 101, "Calling Thread" },
            { 102, "ID" },
            { 103, "Priority" },
            { 104, "Class" },
            { 126, "Handle" },
            { 127, "Name" },
            { 128, "Description" },
            { 129, "Version" },
            { 130, "Size" },
            { 131, "Modified" },
            { 132, "Path" },
            { 133, "ID" },
            { 134, "Name" },
            { 135, "Description" },
            { 136, "Version" },
            { 137, "Memory" },
            { 138, "Priority" },
            { 139, "Threads" },
            { 140, "Path" },
            { 141, "Registers" },
            { 142, "Stack" },
            { 143, "Memory Dump" },
        };
        const auto it = texts.find(id);
        return it == texts.end() ? std::string() : it->second;
    }
};

sigjmp_buf g_back;
TCrashStackList *g_list = nullptr;
TCrashCpuContext g_context;
volatile std::uintptr_t g_nowhere = 0;
int g_faultLine = 0;

void onFault(int, siginfo_t *, void *uc)
{
    g_context = CrashContextFromUcontext(uc);
    std::uint64_t base = 0, top = 0;
    CrashCurrentStackRange(base, top);
    TCrashWalkParams params;
    params.threadId = 1;
    CrashWalkStack(*g_list, g_context.rip, g_context.rsp, top, params);
    siglongjmp(g_back, 1);
}

} // namespace

namespace reporttest
{

// The null store is the fault under test: UndefinedBehaviorSanitizer must not report it first.
[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) void crashingLevelThree()
{
    g_faultLine = __LINE__ + 1;
    *reinterpret_cast<volatile int *>(g_nowhere) = 1;
    asm volatile("" ::: "memory");
}

[[gnu::noinline]] void crashingLevelTwo(int &callLine)
{
    callLine = __LINE__ + 1;
    crashingLevelThree();
    asm volatile("" ::: "memory");
}

} // namespace reporttest

TEST(CrashReportStack, RealFaultGivesItsCallStackInTheReportTable)
{
    TCrashStackList list;
    g_list = &list;
    int callLine = 0;
    struct sigaction sa {
    }, old {};
    sa.sa_sigaction = onFault;
    sa.sa_flags = SA_SIGINFO;
    sigemptyset(&sa.sa_mask);
    ASSERT_EQ(sigaction(SIGSEGV, &sa, &old), 0);
    if (sigsetjmp(g_back, 1) == 0)
        reporttest::crashingLevelTwo(callLine);
    sigaction(SIGSEGV, &old, nullptr);
    ASSERT_FALSE(list.empty());
    ASSERT_TRUE(g_context.valid);

    // The exception address first, on the faulting line.
    EXPECT_TRUE(list[0].groupStart);
    EXPECT_EQ(list[0].procedureName, "crashingLevelThree");
    EXPECT_EQ(list[0].line, static_cast<std::uint32_t>(g_faultLine));

    const std::string table = callStackTable(&list, 15, EnglishTexts(), nullptr);
    std::istringstream rows(table);
    std::string row;
    bool faultRow = false, callerRow = false, libraryRow = false;
    while (std::getline(rows, row)) {
        if (row.find("|ReportStackTest.cpp") != std::string::npos
            || row.find("ReportStackTest.cpp ") != std::string::npos) {
            if (row.find("crashingLevelThree") != std::string::npos
                && row.find("|" + std::to_string(g_faultLine) + "[") != std::string::npos)
                faultRow = true;
            if (row.find("crashingLevelTwo") != std::string::npos
                && row.find("reporttest") != std::string::npos
                && row.find("|" + std::to_string(callLine) + "[3]") != std::string::npos)
                callerRow = true;
        }
        if (row.find("|libc.so.6") != std::string::npos && row.find("|__libc_start") != std::string::npos)
            libraryRow = true;
    }
    EXPECT_TRUE(table.rfind("Call Stack Information:\r\n", 0) == 0) << table;
    EXPECT_NE(table.find("*Exception Thread: ID=1"), std::string::npos) << table;
    EXPECT_TRUE(faultRow) << table;
    EXPECT_TRUE(callerRow) << table;
    EXPECT_TRUE(libraryRow) << table;
    if (std::getenv("CRASH_SHOW_TABLE"))
        std::printf("%s", table.c_str());

    // The modules and processes tables are built from the lists of this process.
    TCrashModulesList::instance().refresh();
    const std::string modules
        = modulesTable(TCrashModulesList::instance().snapshot(), EnglishTexts(), SystemReportClock());
    EXPECT_NE(modules.find("|crash_debuginfo_report"), std::string::npos) << modules;
    EXPECT_NE(modules.find("|libc.so.6"), std::string::npos);
    TCrashProcessesList processes;
    processes.refresh();
    const std::string procs = processesTable(processes.items(), EnglishTexts());
    EXPECT_NE(procs.find("|crash_debuginfo_report"), std::string::npos) << procs;

    // The assembler section of the fault: the source position of the faulting procedure, the
    // address column, aligned comments and one mark on the faulting instruction.
    ReportInput input;
    input.exception.address = g_context.rip;
    fillCpuValues(input, g_context);
    ASSERT_FALSE(input.assembler.empty());
    const std::vector<std::string> lines = splitCrLfLines(assemblerSection(input.assembler, EnglishTexts()));
    ASSERT_GE(lines.size(), input.assembler.size() + 4);
    EXPECT_EQ(lines[0], "Assembler Information:");
    EXPECT_EQ(lines[2].rfind("; ReportStackTest.cpp ", 0), 0u) << lines[2];
    EXPECT_NE(lines[2].find(" (Line="), std::string::npos) << lines[2];
    EXPECT_EQ(lines[3], "; " + std::string(lines[2].size() - 2, '-'));
    int marks = 0;
    std::size_t commentColumn = 0;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string &l = lines[i];
        if (l.empty() || l[0] == ';')
            continue;
        EXPECT_EQ(l.substr(16, 2), "  ") << l;
        const std::size_t semi = l.find(';');
        if (semi != std::string::npos) {
            if (commentColumn == 0)
                commentColumn = semi;
            EXPECT_EQ(semi, commentColumn) << "comments are aligned: " << l;
        }
        marks += l.find("<-- EXCEPTION") != std::string::npos;
    }
    EXPECT_EQ(marks, 1);

    // The CPU section of the fault: registers, titles and 16 dump lines.
    const std::string cpu = cpuSection(input, EnglishTexts());
    EXPECT_EQ(splitCrLfLines(cpu).size(), 30u) << cpu;
    char rip[40];
    std::snprintf(rip, sizeof rip, "RIP: %016llX", static_cast<unsigned long long>(g_context.rip));
    EXPECT_NE(cpu.find(rip), std::string::npos) << cpu;
}
