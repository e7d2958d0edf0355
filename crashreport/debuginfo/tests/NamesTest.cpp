#include "CrashNames.h"
#include "CrashResolve.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cxxabi.h>
#include <string>
#include <vector>

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

TEST(CrashNames, NamesTheRuntimeRefusesStillGiveTheirFunction)
{
    // Newer compilers' manglings that the runtime's demangler refuses: lambdas with a template
    // head (as in the slot objects of lambdas connected to signals), requires-clauses.
    struct Case {
        const char *mangled;
        std::vector<std::string> parts; // the result holds each of them
    };
    const Case cases[] = {
        { "_ZN9QtPrivate15QCallableObjectIZN10MainWindowC4EP7QWidgetEUlTyT_E_NS_4ListIJEEEvE4implEiPNS_"
          "15QSlotObjectBaseEP7QObjectPPvPb",
            { "QtPrivate::QCallableObject<", "MainWindow::MainWindow(QWidget*)", "{lambda(", ">::impl(" } },
        { "_ZZ4mainENKUlTyT_E_clIiEEDaS0_", { "main::{lambda(", "operator()" } },
        { "_ZZN10MainWindow5setUpEvENKUlvE_clEvQ1CIiE", { "MainWindow::setUp()::{lambda}" } },
        { "_ZZN10MainWindow5setUpEvE7counterQ", { "MainWindow::setUp()::counter" } },
        { "_ZN3Foo3BarC2ERKNS_3BazEQ1CIT_E", { "Foo::Bar::Bar" } },
        { "_ZN3Foo3BarIiE4listEvQ1CIT_E", { "Foo::Bar<...>::list" } },
        { "_ZNSt6vectorIiSaIiEE4dataEvQ1CIT_E", { "std::vector<...>::data" } },
        { "_ZN3FooIN3Bar3BazEEC2ERKS2_Q1CIT_E", { "Foo<...>::Foo" } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mangled);
        int status = 0;
        char *refused = abi::__cxa_demangle(c.mangled, nullptr, nullptr, &status);
        std::free(refused);
        ASSERT_NE(status, 0) << "the case must be one the runtime refuses";
        const std::string name = CrashDemangle(c.mangled);
        EXPECT_EQ(name.find("_Z"), std::string::npos) << name;
        for (const std::string &part : c.parts)
            EXPECT_NE(name.find(part), std::string::npos) << name << " lacks " << part;
    }
    // A symbol version is no part of the name.
    EXPECT_EQ(CrashDemangle("_ZN7QObject5eventEP6QEvent@Qt_6"), "QObject::event(QEvent*)");
}

TEST(CrashNames, CutsNamesToTheirLongestLength)
{
    const std::string umlauts = [] {
        std::string s;
        for (int i = 0; i < 300; ++i)
            s += "\xC3\xA4";
        return s;
    }();
    struct Case {
        std::string text;
        std::string cut;
    };
    const Case cases[] = {
        { std::string(300, 'x'), std::string(255, 'x') },
        { std::string(255, 'x'), std::string(255, 'x') },
        { "short", "short" },
        { umlauts, umlauts.substr(0, 510) }, // 255 characters of two bytes each
        { std::string(254, 'x') + umlauts, std::string(254, 'x') + "\xC3\xA4" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(CrashCutName(c.text), c.cut) << c.text.size();
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
