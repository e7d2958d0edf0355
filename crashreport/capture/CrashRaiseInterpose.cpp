// The raise hook: the C++ runtime's throw entries, interposed so that the raising thread's
// state and stack are recorded before any unwinding, then passed on to the runtime.
//
// This file includes as little as it can: it defines functions that the runtime's headers
// declare with other attributes.

#include "CrashRaiseRecord.h"

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <typeinfo>

namespace
{

using ThrowFunction = void (*)(void *, std::type_info *, void (*)(void *));
using RethrowFunction = void (*)();
using RethrowPointerFunction = void (*)(void *);

std::atomic<ThrowFunction> realThrow { nullptr };
std::atomic<RethrowFunction> realRethrow { nullptr };
std::atomic<RethrowPointerFunction> realRethrowPointer { nullptr };

constexpr const char *RethrowPointerName = "_ZSt17rethrow_exceptionNSt15__exception_ptr13exception_ptrE";

template <typename F> F resolve(std::atomic<F> &slot, const char *name)
{
    F f = slot.load(std::memory_order_acquire);
    if (!f) {
        f = reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
        if (!f)
            std::abort(); // no runtime to pass the throw on to
        slot.store(f, std::memory_order_release);
    }
    return f;
}

} // namespace

namespace crashreport
{
void CrashResolveRealThrow()
{
    resolve(realThrow, "__cxa_throw");
    resolve(realRethrow, "__cxa_rethrow");
    resolve(realRethrowPointer, RethrowPointerName);
}
} // namespace crashreport

extern "C" {

[[noreturn]] void __cxa_throw(void *object, std::type_info *type, void (*destructor)(void *))
{
    crashreport::CrashRecordRaise(object, type, reinterpret_cast<std::uint64_t>(__builtin_return_address(0)),
        reinterpret_cast<std::uint64_t>(__builtin_frame_address(0)), crashreport::RaiseKind::Throw);
    resolve(realThrow, "__cxa_throw")(object, type, destructor);
    __builtin_unreachable();
}

[[noreturn]] void __cxa_rethrow()
{
    crashreport::CrashRecordRaise(nullptr, nullptr,
        reinterpret_cast<std::uint64_t>(__builtin_return_address(0)),
        reinterpret_cast<std::uint64_t>(__builtin_frame_address(0)), crashreport::RaiseKind::Rethrow);
    resolve(realRethrow, "__cxa_rethrow")();
    __builtin_unreachable();
}

// std::rethrow_exception(std::exception_ptr): the pointer is passed by reference in the ABI
// (it has a non-trivial copy), and holds the thrown object as its only member.
[[noreturn]] void CrashRethrowPointer(void *pointer) __asm__(
    "_ZSt17rethrow_exceptionNSt15__exception_ptr13exception_ptrE");
[[noreturn]] void CrashRethrowPointer(void *pointer)
{
    void *object = pointer ? *static_cast<void **>(pointer) : nullptr;
    crashreport::CrashRecordRaise(object, nullptr,
        reinterpret_cast<std::uint64_t>(__builtin_return_address(0)),
        reinterpret_cast<std::uint64_t>(__builtin_frame_address(0)), crashreport::RaiseKind::RethrowPointer);
    resolve(realRethrowPointer, RethrowPointerName)(pointer);
    __builtin_unreachable();
}
}
