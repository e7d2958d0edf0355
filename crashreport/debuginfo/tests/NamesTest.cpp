#include "CrashNames.h"
#include "CrashResolve.h"

#include <gtest/gtest.h>

using namespace crashreport;

TEST(CrashNames, SplitsCppNamesAtTopLevelOnly)
{
    struct Case {
        const char *name, *cls, *proc;
    };
    const Case cases[] = {
        { "main", "", "main" },
        { "walktest::levelTwo(int)", "walktest", "levelTwo" },
        { "ns::Outer<std::pair<int, a::b>>::method(std::vector<x::y, std::allocator<x::y>> const&) const",
            "ns::Outer<std::pair<int, a::b>>", "method" },
        { "void ns::f<int>(int)", "ns", "f<int>" },
        { "std::vector<int, std::allocator<int> >::operator[](unsigned long)",
            "std::vector<int, std::allocator<int> >", "operator[]" },
        { "A::operator<<(int)", "A", "operator<<" },
        { "A::operator()(int) const", "A", "operator()" },
        { "A::operator bool() const", "A", "operator bool" },
        { "(anonymous namespace)::helper(char const*)", "(anonymous namespace)", "helper" },
        { "ns::run()::{lambda(int)#1}::operator()(int) const", "ns::run()::{lambda(int)#1}", "operator()" },
        { "foo(int) [clone .cold]", "", "foo" },
        { "QObject::event(QEvent*)", "QObject", "event" },
    };
    for (const Case &c : cases) {
        const TCrashSplitName s = CrashSplitCppName(c.name);
        EXPECT_EQ(s.className, c.cls) << c.name;
        EXPECT_EQ(s.procedureName, c.proc) << c.name;
    }
}

TEST(CrashNames, DemanglesAndLeavesPlainNames)
{
    EXPECT_EQ(CrashDemangle("_ZN8walktest8levelTwoEi"), "walktest::levelTwo(int)");
    EXPECT_EQ(CrashDemangle("memcpy"), "memcpy");
    EXPECT_EQ(CrashDemangle("_Zbroken"), "_Zbroken");
    EXPECT_EQ(CrashDemangle(nullptr), "");
}

TEST(CrashNames, DottedNamesSplitIntoUnitClassProcedure)
{
    struct Case {
        const char *name, *unitFile, *unit, *cls, *proc;
    };
    const Case cases[] = {
        // A class and a method joined by a point in a unit of another name: class and method.
        { "TForm1.Button1Click", "Main.pas", "Main.pas", "TForm1", "Button1Click" },
        // The unit name joined to a procedure: no class.
        { "Main.DoWork", "Main.pas", "Main.pas", "", "DoWork" },
        { "main.DoWork", "MAIN.PAS", "MAIN.PAS", "", "DoWork" },
        { "System.TObject.Free", "", "System", "TObject", "Free" },
        { "Helper", "Unit2.pas", "Unit2.pas", "", "Helper" },
        { "Unit2.@Finalize", "Unit2.pas", "Unit2.pas", "", "_Finalize" },
    };
    for (const Case &c : cases) {
        TCrashStackEntry e;
        CrashSplitDottedName(c.name, c.unitFile, e);
        EXPECT_EQ(e.unitName, c.unit) << c.name;
        EXPECT_EQ(e.className, c.cls) << c.name;
        EXPECT_EQ(e.procedureName, c.proc) << c.name;
    }
}

TEST(CrashNames, DecoratedExportNames)
{
    EXPECT_EQ(CrashUndecorateExportName("@Classes@TList@Add$qqrpv"), "Classes.TList.Add");
    EXPECT_EQ(CrashUndecorateExportName("@System@@GetMem$qqri"), "System._GetMem");
    EXPECT_EQ(CrashUndecorateExportName("@Unit1@Proc@"), "Unit1.Proc");
    EXPECT_EQ(CrashUndecorateExportName("plain"), "");
}
