#include "CRLeaksObject.h"

#include "CRLeaksMemory.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>

extern "C" void free(void *) noexcept;

namespace crleaks
{

namespace
{
    // The address points of the virtual tables of the C++ runtime's three class type_info kinds
    // (every class with run-time type information has one of them). Found once, by name, so that
    // the library does not depend on the C++ runtime.
    struct TypeInfoTables {
        std::uint64_t table[3];
        bool found;
    };
    TypeInfoTables g_tables {};

    void findTables()
    {
        if (g_tables.found)
            return;
        static const char *const names[3] = { "_ZTVN10__cxxabiv117__class_type_infoE",
            "_ZTVN10__cxxabiv120__si_class_type_infoE", "_ZTVN10__cxxabiv121__vmi_class_type_infoE" };
        for (int i = 0; i < 3; ++i) {
            void *p = dlsym(RTLD_DEFAULT, names[i]);
            g_tables.table[i] = p ? reinterpret_cast<std::uint64_t>(p) + 16 : 0;
        }
        g_tables.found = true;
    }

    bool isClassTypeInfo(std::uint64_t typeInfo)
    {
        std::uint64_t table = 0;
        if (!ReadMemory(typeInfo, &table, 8) || table == 0)
            return false;
        for (std::uint64_t t : g_tables.table)
            if (t && t == table)
                return true;
        return false;
    }

    void copyName(const char *from, char *name, std::size_t size)
    {
        std::size_t n = std::strlen(from);
        if (n >= size)
            n = size - 1;
        std::memcpy(name, from, n);
        name[n] = 0;
    }
} // namespace

bool ObjectClassName(const void *user, std::size_t userSize, char *name, std::size_t size) noexcept
{
    if (userSize < 8 || size == 0)
        return false;
    findTables();
    std::uint64_t vptr = 0;
    std::memcpy(&vptr, user, 8);
    std::uint64_t slots[2]; // offset to top, type_info
    if ((vptr & 7) || !ReadMemory(vptr - 16, slots, 16) || slots[0] != 0 || !isClassTypeInfo(slots[1]))
        return false;
    std::uint64_t mangledAt = 0;
    if (!ReadMemory(slots[1] + 8, &mangledAt, 8) || !Readable(mangledAt, 1))
        return false;
    char mangled[256];
    std::size_t n = 0;
    while (n + 1 < sizeof mangled && Readable(mangledAt + n, 1)) {
        mangled[n] = *reinterpret_cast<const char *>(mangledAt + n);
        if (!mangled[n])
            break;
        ++n;
    }
    mangled[n] = 0;
    const char *text = mangled[0] == '*' ? mangled + 1 : mangled; // a class local to its module
    using Demangle = char *(*)(const char *, char *, std::size_t *, int *);
    auto demangle = reinterpret_cast<Demangle>(dlsym(RTLD_DEFAULT, "__cxa_demangle"));
    int status = -1;
    // Tracking is off here: the demangler's block is an ordinary one of the allocator.
    char *readable = demangle ? demangle(text, nullptr, nullptr, &status) : nullptr;
    copyName(readable && status == 0 ? readable : text, name, size);
    free(readable);
    return true;
}

bool InSystemLibrary(std::uint64_t address) noexcept
{
    Dl_info info {};
    if (!dladdr(reinterpret_cast<void *>(address), &info) || !info.dli_fname)
        return false;
    Dl_info own {};
    if (dladdr(reinterpret_cast<void *>(&InSystemLibrary), &own) && own.dli_fbase == info.dli_fbase)
        return true;
    static const char *const folders[] = { "/lib/", "/lib64/", "/usr/lib/", "/usr/lib64/" };
    for (const char *folder : folders)
        if (std::strncmp(info.dli_fname, folder, std::strlen(folder)) == 0)
            return true;
    return false;
}

} // namespace crleaks
