// The C allocator's functions and the C++ allocation operators, interposed in the program: the
// library is linked first, so the program and every library it loads reach these. Each entry
// hands its own frame address on, so that the header's stacks begin at the caller.
//
// The library is built with frame pointers and without sibling calls: every entry keeps a frame
// whose return address is the allocation site while the block is entered.

#include "CRLeaksBlock.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <new>

using namespace crleaks;

#define CRLEAKS_EXPORT extern "C" __attribute__((visibility("default")))
#define FRAME static_cast<void **>(__builtin_frame_address(0))

namespace
{
bool powerOfTwo(std::size_t n)
{
    return n && !(n & (n - 1));
}

std::size_t pageSize()
{
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
}

// operator new's failure path: the new-handler, else std::bad_alloc. Both come from the C++
// runtime, found when needed so that this library does not depend on it (it must outlive it).
void *newFailed(std::size_t size, std::size_t alignment, std::uint8_t kind, void **frame, bool nothrow)
{
    using GetHandler = std::new_handler (*)();
    for (;;) {
        auto get = reinterpret_cast<GetHandler>(dlsym(RTLD_DEFAULT, "_ZSt15get_new_handlerv"));
        std::new_handler handler = get ? get() : nullptr;
        if (!handler)
            break;
        handler(); // may throw std::bad_alloc itself
        if (void *p = GetBlock(size ? size : 1, alignment, kind, frame))
            return p;
    }
    if (nothrow)
        return nullptr;
    using Thrower = void (*)();
    if (auto thrower = reinterpret_cast<Thrower>(dlsym(RTLD_DEFAULT, "_ZSt17__throw_bad_allocv")))
        thrower();
    WriteError("CRLeaks: out of memory\n");
    _exit(1);
}

inline void *newBlock(std::size_t size, std::size_t alignment, std::uint8_t kind, void **frame, bool nothrow)
{
    if (void *p = GetBlock(size ? size : 1, alignment, kind, frame))
        return p;
    return newFailed(size, alignment, kind, frame, nothrow);
}

void *alignedBlock(std::size_t alignment, std::size_t size, void **frame)
{
    return GetBlock(size, alignment, KindData, frame);
}
} // namespace

CRLEAKS_EXPORT void *malloc(std::size_t size)
{
    return GetBlock(size, 0, KindData, FRAME);
}

CRLEAKS_EXPORT void free(void *p)
{
    ReleaseBlock(p);
}

CRLEAKS_EXPORT void *calloc(std::size_t count, std::size_t size)
{
    return GetZeroedBlock(count, size, FRAME);
}

CRLEAKS_EXPORT void *realloc(void *p, std::size_t size)
{
    return ResizeBlock(p, size, FRAME);
}

CRLEAKS_EXPORT void *reallocarray(void *p, std::size_t count, std::size_t size)
{
    std::size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) {
        errno = ENOMEM;
        return nullptr;
    }
    return ResizeBlock(p, bytes, FRAME);
}

CRLEAKS_EXPORT int posix_memalign(void **out, std::size_t alignment, std::size_t size)
{
    if (!powerOfTwo(alignment) || alignment % sizeof(void *))
        return EINVAL;
    const int saved = errno;
    void *p = alignedBlock(alignment, size, FRAME);
    errno = saved;
    if (!p)
        return ENOMEM;
    *out = p;
    return 0;
}

CRLEAKS_EXPORT void *aligned_alloc(std::size_t alignment, std::size_t size)
{
    if (!powerOfTwo(alignment)) {
        errno = EINVAL;
        return nullptr;
    }
    return alignedBlock(alignment, size, FRAME);
}

CRLEAKS_EXPORT void *memalign(std::size_t alignment, std::size_t size)
{
    if (!powerOfTwo(alignment)) {
        // the C library rounds such an alignment up to the next power of two
        std::size_t a = 1;
        while (a < alignment && a)
            a <<= 1;
        if (!a) {
            errno = EINVAL;
            return nullptr;
        }
        alignment = a;
    }
    return alignedBlock(alignment, size, FRAME);
}

CRLEAKS_EXPORT void *valloc(std::size_t size)
{
    return alignedBlock(pageSize(), size, FRAME);
}

CRLEAKS_EXPORT void *pvalloc(std::size_t size)
{
    const std::size_t page = pageSize();
    std::size_t rounded;
    if (__builtin_add_overflow(size, page - 1, &rounded)) {
        errno = ENOMEM;
        return nullptr;
    }
    return alignedBlock(page, rounded / page * page, FRAME);
}

CRLEAKS_EXPORT std::size_t malloc_usable_size(void *p)
{
    if (!p)
        return 0;
    if (IsTracked(p))
        return UsableSize(p);
    using Usable = std::size_t (*)(void *);
    static Usable next = nullptr; // constant-initialised, found at first use
    if (!next)
        next = reinterpret_cast<Usable>(dlsym(RTLD_NEXT, "malloc_usable_size"));
    return next ? next(p) : 0;
}

// The C++ allocation operators. A single object from operator new may be an object instance
// (decided at the end by its virtual table); arrays and aligned blocks are data.
#define CRLEAKS_OPERATOR __attribute__((visibility("default")))
#define ALIGN static_cast<std::size_t>(al)

CRLEAKS_OPERATOR void *operator new(std::size_t size) { return newBlock(size, 0, KindObject, FRAME, false); }
CRLEAKS_OPERATOR void *operator new[](std::size_t size) { return newBlock(size, 0, KindData, FRAME, false); }
CRLEAKS_OPERATOR void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    return newBlock(size, 0, KindObject, FRAME, true);
}
CRLEAKS_OPERATOR void *operator new[](std::size_t size, const std::nothrow_t &) noexcept
{
    return newBlock(size, 0, KindData, FRAME, true);
}
CRLEAKS_OPERATOR void *operator new(std::size_t size, std::align_val_t al)
{
    return newBlock(size, ALIGN, KindData, FRAME, false);
}
CRLEAKS_OPERATOR void *operator new[](std::size_t size, std::align_val_t al)
{
    return newBlock(size, ALIGN, KindData, FRAME, false);
}
CRLEAKS_OPERATOR void *operator new(std::size_t size, std::align_val_t al, const std::nothrow_t &) noexcept
{
    return newBlock(size, ALIGN, KindData, FRAME, true);
}
CRLEAKS_OPERATOR void *operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t &) noexcept
{
    return newBlock(size, ALIGN, KindData, FRAME, true);
}

// Every form of delete releases the same way: the block says what it is.
CRLEAKS_OPERATOR void operator delete(void *p) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete[](void *p) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete(void *p, std::size_t) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete[](void *p, std::size_t) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete(void *p, const std::nothrow_t &) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete[](void *p, const std::nothrow_t &) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete(void *p, std::align_val_t) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete[](void *p, std::align_val_t) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete(void *p, std::size_t, std::align_val_t) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete[](void *p, std::size_t, std::align_val_t) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete(void *p, std::align_val_t, const std::nothrow_t &) noexcept { ReleaseBlock(p); }
CRLEAKS_OPERATOR void operator delete[](void *p, std::align_val_t, const std::nothrow_t &) noexcept
{
    ReleaseBlock(p);
}
