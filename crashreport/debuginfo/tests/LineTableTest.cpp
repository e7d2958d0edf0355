#include "CrashDataBlock.h"
#include "CrashDwarf.h"
#include "CrashFileNames.h"
#include "CrashLineTable.h"
#include "CrashNames.h"
#include "CrashStackList.h"
#include "InlineProbe.h"

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

constexpr int InlinedCallLine = __LINE__ + 4;
[[gnu::noinline]] int withInlinedHeader(volatile int *value)
{
    asm volatile("" ::: "memory");
    const int r = inlinedStep(value);
    asm volatile("" ::: "memory");
    return r * 5;
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
    if (const TCrashModulePtr self
        = TCrashModulesList::instance().findByAddress(reinterpret_cast<std::uint64_t>(&linetest::outer)))
        std::printf("built %lld %lld\n", static_cast<long long>(self->buildTime),
            static_cast<long long>(self->modified));
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

// Where addr2line puts each file address: the outermost of its inline chain ("file:line",
// line 0 when unknown), in the order asked.
std::vector<std::pair<std::string, unsigned>> addr2lineOutermost(
    const std::string &file, const std::vector<std::uint64_t> &addresses);

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

std::vector<std::pair<std::string, unsigned>> addr2lineOutermost(
    const std::string &file, const std::vector<std::uint64_t> &addresses)
{
    const fs::path list = fs::temp_directory_path() / ("crash_addr2line_" + std::to_string(::getpid()));
    {
        std::ofstream out(list);
        for (std::uint64_t a : addresses)
            out << std::hex << "0x" << a << "\n";
    }
    std::istringstream in(run("addr2line -a -i -e " + file + " < " + list.string()));
    fs::remove(list);
    std::vector<std::pair<std::string, unsigned>> result;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("0x", 0) == 0) {
            result.emplace_back("", 0);
            continue;
        }
        if (result.empty())
            continue;
        const std::size_t colon = line.rfind(':');
        if (colon == std::string::npos)
            continue;
        result.back().first = CrashFileBaseName(line.substr(0, colon));
        result.back().second = static_cast<unsigned>(std::strtoul(line.c_str() + colon + 1, nullptr, 10));
    }
    return result;
}

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
    // The build time is the one the build tool wrote, not the file's time.
    const std::int64_t built = CrashDataBuildTime(ReadCrashDataFromFile(selfPath()).block);
    EXPECT_NE(built, 0);
    EXPECT_EQ(module->buildTime, built);
    EXPECT_LE(module->buildTime, module->modified);
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
    // A copy made long after the build: its file time is not its build time.
    ASSERT_EQ(std::system(("touch -d 2001-01-01T00:00:00Z " + stripped.string()).c_str()), 0);
    ASSERT_EQ(run("readelf -S " + stripped.string() + " | grep -c debug_info"), "0\n");

    const std::string output = run("CRASH_LINETABLE_CHILD=1 " + stripped.string());
    std::istringstream in(output);
    std::string word;
    int lineOne = 0, lineTwo = 0;
    bool sawOuter = false, sawMiddle = false, sawBuildTime = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        f >> word;
        if (word == "expect") {
            f >> lineOne >> lineTwo;
            continue;
        }
        if (word == "built") {
            long long built = 0, modified = 0;
            f >> built >> modified;
            EXPECT_EQ(modified, 978307200);
            EXPECT_EQ(built, CrashDataBuildTime(ReadCrashDataFromFile(selfPath()).block));
            sawBuildTime = true;
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
    EXPECT_TRUE(sawBuildTime) << output;
}

// Code inlined from a header is reported at its call in the procedure's own file: by the line
// table, by the libdw path, and as addr2line's outermost line.
TEST_F(LineTableOfThisProgram, InlinedHeaderCodeGivesTheCallLineInTheProceduresFile)
{
    TCrashLineTable table;
    ASSERT_TRUE(table.load(bytes));
    const TCrashModulePtr module = TCrashModulesList::instance().findByAddress(
        reinterpret_cast<std::uint64_t>(&linetest::withInlinedHeader));
    ASSERT_TRUE(module);
    const TCrashFunction *f = module->functions.findNearest(
        reinterpret_cast<std::uint64_t>(&linetest::withInlinedHeader) - module->loadBias);
    ASSERT_NE(f, nullptr);
    ASSERT_GT(f->size, 0u);
    std::vector<std::uint64_t> addresses;
    for (std::uint64_t off = 0; off < f->size; ++off)
        addresses.push_back(f->offset + off);
    const auto reference = addr2lineOutermost(selfPath(), addresses);
    ASSERT_EQ(reference.size(), addresses.size());
    int atCall = 0;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "offset " << addresses[i] - f->offset);
        TCrashLineLookup t;
        ASSERT_TRUE(table.lookup(addresses[i], t));
        TCrashDwarfLocation d;
        ASSERT_TRUE(CrashDwarfLookup(module->loadBias + addresses[i], d));
        EXPECT_EQ(CrashFileBaseName(t.unitName), "LineTableTest.cpp");
        EXPECT_EQ(CrashFileBaseName(d.sourceFile), "LineTableTest.cpp");
        EXPECT_EQ(reference[i].first, "LineTableTest.cpp");
        EXPECT_EQ(t.line, d.line);
        EXPECT_EQ(d.line, reference[i].second);
        if (t.line == static_cast<unsigned>(linetest::InlinedCallLine))
            ++atCall;
    }
    EXPECT_GT(atCall, 0); // the header's code is there, at its call
}

TEST_F(LineTableOfThisProgram, LibdwPathAgreesWithAddr2lineOutermostLine)
{
    const TCrashModulePtr module
        = TCrashModulesList::instance().findByAddress(reinterpret_cast<std::uint64_t>(&linetest::outer));
    ASSERT_TRUE(module);
    std::vector<std::uint64_t> addresses;
    for (const TCrashFunction &f : module->functions.items())
        if (f.size > 0)
            for (std::uint64_t off : { std::uint64_t(0), f.size / 3, f.size / 2, f.size - 1 })
                addresses.push_back(f.offset + off);
    const auto reference = addr2lineOutermost(selfPath(), addresses);
    ASSERT_EQ(reference.size(), addresses.size());
    // Lines only: for procedures of a header compiled out of line, this addr2line names the
    // unit's main file with the header's line (it misreads the DWARF 5 file numbers); the
    // inline test above checks file names where addr2line gets them right.
    int compared = 0, agreed = 0;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        TCrashDwarfLocation d;
        if (reference[i].second == 0 || !CrashDwarfLookup(module->loadBias + addresses[i], d))
            continue;
        ++compared;
        if (d.line == reference[i].second)
            ++agreed;
    }
    ASSERT_GT(compared, 1000);
    EXPECT_GE(agreed, compared * 99 / 100) << agreed << " of " << compared;
}
