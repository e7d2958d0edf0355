#include "CrashModulesList.h"
#include "CrashProcessesList.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace crashreport;
namespace fs = std::filesystem;

namespace
{

[[gnu::noinline]] int programFunction()
{
    return 42;
}

} // namespace

TEST(CrashModules, ListHoldsTheProgramAndItsLibrariesSortedByHandle)
{
    TCrashModulesList::setProgramVersion("1.04.1");
    TCrashModulesList list;
    list.refresh();
    const auto mods = list.snapshot();
    ASSERT_GT(mods.size(), 3u);
    for (std::size_t i = 1; i < mods.size(); ++i)
        EXPECT_LT(mods[i - 1]->handle, mods[i]->handle);

    const TCrashModulePtr self = list.findByAddress(reinterpret_cast<std::uint64_t>(&programFunction));
    ASSERT_TRUE(self);
    EXPECT_TRUE(self->isMainProgram);
    EXPECT_EQ(self->fileName, fs::read_symlink("/proc/self/exe").string());
    EXPECT_EQ(self->version, "1.04.1");
    EXPECT_EQ(self->debugSourceKind, TCrashDebugSourceKind::Dwarf);
    struct stat st {
    };
    ASSERT_EQ(::stat(self->fileName.c_str(), &st), 0);
    EXPECT_EQ(self->size, static_cast<std::uint64_t>(st.st_size));
    EXPECT_EQ(self->modified, st.st_mtime);
    EXPECT_EQ(self->buildTime, st.st_mtime);
    // This program carries no options block: no options of its own.
    EXPECT_FALSE(self->hasLibraryData);
    EXPECT_FALSE(self->options);
    EXPECT_EQ(self->baseName(), "crash_debuginfo_modules");
    EXPECT_EQ(self->folder(), fs::path(self->fileName).parent_path().string());

    // The C library: its version from the real file name, and its exported procedures.
    const TCrashModulePtr libc = list.findByAddress(reinterpret_cast<std::uint64_t>(&::getpid));
    ASSERT_TRUE(libc);
    EXPECT_FALSE(libc->isMainProgram);
    EXPECT_NE(libc->fileName.find("libc.so"), std::string::npos);
    EXPECT_GT(libc->functions.count(), 500u);
    const TCrashFunction *f
        = libc->functions.findNearest(reinterpret_cast<std::uint64_t>(&::getpid) - libc->loadBias);
    ASSERT_NE(f, nullptr);
    EXPECT_NE(f->name.find("getpid"), std::string::npos);

    EXPECT_EQ(list.findByAddress(0x10), nullptr);
}

TEST(CrashModules, VersionComesFromTheFileName)
{
    // A library whose file name carries its version, loaded through a link without it.
    const fs::path dir = fs::temp_directory_path() / ("crash_modules_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    void *probe = dlopen("libz.so.1", RTLD_NOW);
    ASSERT_NE(probe, nullptr);
    link_map *lm = nullptr;
    ASSERT_EQ(dlinfo(probe, RTLD_DI_LINKMAP, &lm), 0);
    const fs::path real = dir / "libcrashversion.so.6.4.2";
    fs::copy_file(lm->l_name, real, fs::copy_options::overwrite_existing);
    fs::create_symlink(real.filename(), dir / "libcrashversion.so.6");
    dlclose(probe);
    void *h = dlopen((dir / "libcrashversion.so.6").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr);
    TCrashModulesList list;
    list.refresh();
    TCrashModulePtr mod;
    for (const auto &m : list.snapshot())
        if (m->fileName.find("libcrashversion") != std::string::npos)
            mod = m;
    ASSERT_TRUE(mod);
    EXPECT_EQ(mod->version, "6.4.2");

    // A changed file time drops the record; the next look-up reads it again.
    const std::size_t before = list.count();
    list.dropChanged();
    EXPECT_EQ(list.count(), before);
    const auto newTime = fs::last_write_time(real) + std::chrono::hours(1);
    fs::last_write_time(real, newTime);
    list.dropChanged();
    EXPECT_EQ(list.count(), before - 1);
    const TCrashModulePtr again = list.findByAddress(mod->handle);
    ASSERT_TRUE(again);
    EXPECT_NE(again.get(), mod.get());
    EXPECT_NE(again->modified, mod->modified);

    // An unloaded module leaves the list at the next refresh.
    dlclose(h);
    list.refresh();
    for (const auto &m : list.snapshot())
        EXPECT_EQ(m->fileName.find("libcrashversion"), std::string::npos);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(CrashProcesses, ListHoldsThisProcessWithItsThreads)
{
    std::atomic<bool> stop { false };
    std::thread worker([&] {
        while (!stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    TCrashProcessesList list;
    list.refresh();
    stop = true;
    worker.join();
    ASSERT_GT(list.count(), 0u);
    for (std::size_t i = 1; i < list.count(); ++i)
        EXPECT_LT(list[i - 1].id, list[i].id);
    const TCrashProcess *self = nullptr;
    for (const auto &p : list.items())
        if (p.id == static_cast<std::uint32_t>(::getpid()))
            self = &p;
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->fileName, fs::read_symlink("/proc/self/exe").string());
    EXPECT_GE(self->threads, 2u);
    EXPECT_GT(self->memory, 0u);
    EXPECT_EQ(self->priority, TCrashPriorityClass::Normal);
    EXPECT_EQ(self->description, "crash_debuginfo");
}

TEST(CrashProcesses, ReadsAProcTreeAndSurvivesBrokenEntries)
{
    const fs::path root = fs::temp_directory_path() / ("crash_proc_" + std::to_string(::getpid()));
    fs::create_directories(root);
    auto process = [&](const char *pid, const std::string &stat, const char *cmdline) {
        fs::create_directories(root / pid);
        std::ofstream(root / pid / "stat") << stat;
        if (cmdline)
            std::ofstream(root / pid / "cmdline") << std::string(cmdline) + std::string(1, '\0') + "--arg";
    };
    // pid (comm) state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt utime stime
    // cutime cstime priority nice threads itreal start vsize rss ... policy(41)
    auto stat = [](const char *pid, const char *comm, int nice, int threads, int rss, int policy) {
        std::string s = std::string(pid) + " (" + comm + ") S 1 1 1 0 -1 0 0 0 0 0 0 0 0 0 20 "
            + std::to_string(nice) + " " + std::to_string(threads) + " 0 100 1000 " + std::to_string(rss);
        for (int f = 25; f < 41; ++f)
            s += " 0";
        return s + " " + std::to_string(policy) + " 0 0\n";
    };
    process("300", stat("300", "low job", 15, 3, 10, 0), "/usr/bin/lowjob");
    process("20", stat("20", "odd) name", -5, 1, 1, 0), "/opt/x/odd");
    process("4000", stat("4000", "rt", 0, 2, 1, 1), nullptr);
    process("77", "77 (broken", nullptr); // no closing bracket: skipped
    process("88", "", nullptr); // empty: skipped
    fs::create_directories(root / "self"); // not a number: skipped
    TCrashProcessesList list;
    list.refresh(root.string());
    ASSERT_EQ(list.count(), 3u);
    EXPECT_EQ(list[0].id, 20u);
    EXPECT_EQ(list[0].description, "odd) name");
    EXPECT_EQ(list[0].fileName, "/opt/x/odd");
    EXPECT_EQ(list[0].priority, TCrashPriorityClass::AboveNormal);
    EXPECT_EQ(list[1].id, 300u);
    EXPECT_EQ(list[1].priority, TCrashPriorityClass::Low);
    EXPECT_EQ(list[1].threads, 3u);
    EXPECT_EQ(list[1].memory, 10u * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)));
    EXPECT_EQ(list[1].baseName(), "lowjob");
    EXPECT_EQ(list[1].folder(), "/usr/bin");
    EXPECT_EQ(list[2].priority, TCrashPriorityClass::RealTime);
    EXPECT_EQ(list[2].fileName, "rt");
    EXPECT_STREQ(CrashPriorityClassName(TCrashPriorityClass::BelowNormal), "Below-Normal");
    EXPECT_STREQ(CrashPriorityClassName(TCrashPriorityClass::Unknown), "");
    list.refresh((root / "missing").string());
    EXPECT_EQ(list.count(), 0u);
    std::error_code ec;
    fs::remove_all(root, ec);
}
