// A real fault in this program, walked from the signal context and printed with the report's
// call-stack, modules and processes tables.
#include "CrashDisassembler.h"
#include "CrashProcessesList.h"
#include "CrashStackList.h"
#include "ReportClock.h"
#include "ReportTables.h"

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

[[gnu::noinline]] void crashingLevelThree()
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

    // The assembler lines of the fault mark the faulting instruction.
    const auto lines = CrashAssemblerLines(CrashDisassembleAround(g_context.rip));
    int marks = 0;
    for (const std::string &l : lines)
        marks += l.find("<-- EXCEPTION") != std::string::npos;
    EXPECT_EQ(marks, 1);
    EXPECT_EQ(CrashCpuLines(g_context, g_context.rip).size(), 30u);
}
