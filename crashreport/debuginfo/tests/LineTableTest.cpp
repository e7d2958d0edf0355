#include "CrashDataBlock.h"
#include "CrashDwarf.h"
#include "CrashFileNames.h"
#include "CrashLineTable.h"
#include "CrashNames.h"
#include "CrashStackList.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

using namespace crashreport;
namespace fs = std::filesystem;

namespace linetest
{

struct Lines {
    int one = 0, two = 0;
};

[[gnu::noinline]] void innermost(TCrashStackList &list)
{
    CrashWalkCurrentThread(list);
    asm volatile("" ::: "memory");
}

[[gnu::noinline]] void middle(Lines &l, TCrashStackList &list)
{
    l.two = __LINE__ + 1;
    innermost(list);
    asm volatile("" ::: "memory");
}

[[gnu::noinline]] void outer(Lines &l, TCrashStackList &list)
{
    l.one = __LINE__ + 1;
    middle(l, list);
    asm volatile("" ::: "memory");
}

} // namespace linetest

namespace
{

// In the stripped child: walk and print what was found for the two test procedures.
const int childHook = [] {
    if (!std::getenv("CRASH_LINETABLE_CHILD"))
        return 0;
    linetest::Lines l;
    TCrashStackList list;
    linetest::outer(l, list);
    std::printf("expect %d %d\n", l.one, l.two);
    for (const auto &e : list)
        if (e->kind != StackKindHidden && (e->procedureName == "outer" || e->procedureName == "middle"))
            std::printf("entry %s %s %s %u %u %d\n", e->procedureName.c_str(), e->className.c_str(),
                e->unitName.c_str(), e->line, e->lineOffset, static_cast<int>(e->source));
    std::fflush(stdout);
    std::_Exit(0);
}();

std::string selfPath()
{
    return fs::read_symlink("/proc/self/exe").string();
}

std::string run(const std::string &command)
{
    std::string out;
    if (FILE *p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

class LineTableOfThisProgram : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        dir = fs::temp_directory_path() / ("crash_linetable_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        // Written at build time into this program's data block.
        auto stream = FindCrashDataStream(selfPath(), CrashDataLineTableTag);
        ASSERT_TRUE(stream.has_value());
        bytes = *stream;
    }
    static void TearDownTestSuite()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    static fs::path dir;
    static std::vector<std::uint8_t> bytes;
};
fs::path LineTableOfThisProgram::dir;
std::vector<std::uint8_t> LineTableOfThisProgram::bytes;

} // namespace

TEST(CrashLineTable, PackedRowsReadBackInEveryEncoding)
{
    // Steps chosen to use each record form: one byte, procedure byte, 16-bit, 32-bit, the
    // 16-bit-pair escape range, the signed escape (lines going back) and a zero-size step.
    struct Step {
        std::uint32_t size;
        std::uint32_t line;
        const char *procedure;
    };
    const Step steps[] = {
        { 4, 10, "ns::Alpha::first" },
        { 3, 11, nullptr },
        { 32, 14, nullptr },
        { 100, 40, nullptr },
        { 5, 41, "ns::Alpha::second" },
        { 4000, 60000, nullptr },
        { 70000, 60001, nullptr },
        { 8, 12, nullptr },
        { 2, 200000, "plain" },
        { 1, 200001, nullptr },
        { 128, 200033, "ns::Beta::run" },
    };
    std::vector<TCrashLineRow> rows;
    std::uint32_t address = 0x1000;
    std::string current;
    std::uint32_t procLine = 0;
    for (const Step &s : steps) {
        TCrashLineRow r;
        r.address = address;
        r.size = s.size;
        r.file = "/src/unit.cpp";
        r.line = s.line;
        if (s.procedure) {
            r.procedure = s.procedure;
            current = s.procedure;
            procLine = s.line;
        }
        r.currentProcedure = current;
        r.procedureLine = procLine;
        rows.push_back(r);
        address += s.size;
    }
    // A second unit in another file after a gap.
    rows.push_back({ address + 16, 6, "/src/other.h", 7, "", 0, "plain" });
    TCrashLineTable table;
    ASSERT_TRUE(table.load(CrashPackLineTable(rows)));
    EXPECT_EQ(table.unitCount(), 2u);
    for (const TCrashLineRow &r : rows) {
        for (std::uint32_t probe : { r.address, r.address + r.size / 2, r.address + r.size - 1 }) {
            TCrashLineLookup out;
            ASSERT_TRUE(table.lookup(probe, out)) << std::hex << probe;
            EXPECT_EQ(out.line, r.line) << std::hex << probe;
            EXPECT_EQ(out.unitName, r.file);
            EXPECT_EQ(out.procedureName, r.currentProcedure) << std::hex << probe;
            EXPECT_EQ(
                out.lineOffset, r.procedureLine && r.line >= r.procedureLine ? r.line - r.procedureLine : 0u);
        }
    }
    TCrashLineLookup out;
    EXPECT_FALSE(table.lookup(0xFFF, out));
    EXPECT_FALSE(table.lookup(address + 8, out)); // the gap
    EXPECT_FALSE(table.lookup(address + 16 + 6, out));
}

TEST(CrashLineTable, DamagedTablesAnswerNothingAndNeverCrash)
{
    std::vector<TCrashLineRow> rows;
    for (std::uint32_t i = 0; i < 200; ++i)
        rows.push_back({ 0x2000 + 8 * i, 8, i < 100 ? "a.cpp" : "b.cpp", 1 + i * 3 % 50,
            i % 10 == 0 ? "f" + std::to_string(i) : "", 0, "f" });
    const std::vector<std::uint8_t> good = CrashPackLineTable(rows);
    // Every truncation: either refused at load or unable to answer for the lost records.
    for (std::size_t len = 0; len < good.size(); ++len) {
        TCrashLineTable t;
        std::vector<std::uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
        if (!t.load(cut))
            continue;
        TCrashLineLookup out;
        EXPECT_FALSE(t.lookup(0x2000 + 8 * 199, out)) << len;
    }
    // Random corruption: no crash, no read outside the data (checked under the sanitizers).
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> bad = good;
        for (int k = 0; k < 4; ++k)
            bad[rng() % bad.size()] = static_cast<std::uint8_t>(rng());
        TCrashLineTable t;
        if (!t.load(bad))
            continue;
        TCrashLineLookup out;
        for (std::uint32_t a = 0x1FF0; a < 0x2000 + 8 * 200 + 16; a += 5)
            (void)t.lookup(a, out);
    }
    TCrashLineTable wrongVersion;
    std::vector<std::uint8_t> v = good;
    v[0] ^= 1;
    EXPECT_FALSE(wrongVersion.load(v));
}

TEST_F(LineTableOfThisProgram, AgreesWithDwarfForThisProgram)
{
    TCrashLineTable table;
    ASSERT_TRUE(table.load(bytes));
    const TCrashModulePtr module
        = TCrashModulesList::instance().findByAddress(reinterpret_cast<std::uint64_t>(&linetest::outer));
    ASSERT_TRUE(module);
    // The module record carries the data block: options and the line table, which answers first.
    EXPECT_TRUE(module->hasLibraryData);
    ASSERT_TRUE(module->options);
    EXPECT_TRUE(module->options->hasCrashData());
    EXPECT_EQ(module->options->mailSubject(), "Stack probe");
    EXPECT_EQ(module->buildTime, module->modified);
    EXPECT_NE(module->buildTime, 0);
    ASSERT_TRUE(module->lineTable);
    TCrashStackEntry entry;
    CrashResolveAddress(reinterpret_cast<std::uint64_t>(&linetest::outer), 0, entry);
    EXPECT_EQ(entry.source, TCrashLocationSource::LineTable);
    EXPECT_EQ(entry.procedureName, "outer");
    EXPECT_EQ(entry.className, "linetest");
    // Probe addresses across the program's own procedures.
    int compared = 0, agreed = 0;
    for (const TCrashFunction &f : module->functions.items()) {
        if (f.size == 0)
            continue;
        for (std::uint64_t off : { std::uint64_t(0), f.size / 3, f.size / 2, f.size - 1 }) {
            const std::uint64_t address = module->loadBias + f.offset + off;
            TCrashDwarfLocation d;
            if (!CrashDwarfLookup(address, d) || d.line == 0)
                continue;
            TCrashLineLookup t;
            ++compared;
            if (table.lookup(f.offset + off, t) && t.line == d.line
                && CrashFileBaseName(t.unitName) == CrashFileBaseName(d.sourceFile))
                ++agreed;
        }
    }
    ASSERT_GT(compared, 1000);
    EXPECT_GE(agreed, compared * 99 / 100) << agreed << " of " << compared;
}

TEST_F(LineTableOfThisProgram, StrippedProgramStillReportsUnitProcedureAndLine)
{
    // Without its DWARF the program still has its data block, and the line table in it.
    const fs::path stripped = dir / "stripped_program";
    const std::string cmd = "objcopy --strip-debug " + selfPath() + " " + stripped.string();
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_EQ(run("readelf -S " + stripped.string() + " | grep -c debug_info"), "0\n");

    const std::string output = run("CRASH_LINETABLE_CHILD=1 " + stripped.string());
    std::istringstream in(output);
    std::string word;
    int lineOne = 0, lineTwo = 0;
    bool sawOuter = false, sawMiddle = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        f >> word;
        if (word == "expect") {
            f >> lineOne >> lineTwo;
            continue;
        }
        std::string proc, cls, unit;
        unsigned lineNo = 0, offset = 0;
        int source = 0;
        f >> proc >> cls >> unit >> lineNo >> offset >> source;
        EXPECT_EQ(cls, "linetest");
        EXPECT_EQ(unit, "LineTableTest.cpp");
        EXPECT_EQ(source, static_cast<int>(TCrashLocationSource::LineTable));
        if (proc == "outer" && lineNo == static_cast<unsigned>(lineOne)) {
            sawOuter = true;
            EXPECT_EQ(offset, 3u);
        }
        if (proc == "middle" && lineNo == static_cast<unsigned>(lineTwo))
            sawMiddle = true;
    }
    EXPECT_TRUE(sawOuter) << output;
    EXPECT_TRUE(sawMiddle) << output;
}
