#pragma once
// Exception classes of the crash-report library.
//
// EAbort (and classes derived from it) leaves quietly: it is never reported. The fault classes
// are what the fault handler throws in place of SIGSEGV, SIGBUS, SIGFPE and SIGILL where the
// faulting code can be unwound.

#include <stdexcept>
#include <string>

namespace crashreport
{

class EAbort : public std::runtime_error
{
public:
    explicit EAbort(const std::string &message = "Operation aborted")
        : std::runtime_error(message)
    {
    }
};

// Base of the exceptions made from a synchronous fault.
class EExternal : public std::runtime_error
{
public:
    EExternal(const std::string &message, unsigned long long address)
        : std::runtime_error(message)
        , m_address(address)
    {
    }
    unsigned long long address() const { return m_address; }

private:
    unsigned long long m_address;
};

#define CRASH_FAULT_CLASS(Name)                                                                              \
    class Name : public EExternal                                                                            \
    {                                                                                                        \
    public:                                                                                                  \
        using EExternal::EExternal;                                                                          \
    };
CRASH_FAULT_CLASS(EAccessViolation)
CRASH_FAULT_CLASS(EBusError)
CRASH_FAULT_CLASS(EDivByZero)
CRASH_FAULT_CLASS(EIntOverflow)
CRASH_FAULT_CLASS(EFloatingPoint)
CRASH_FAULT_CLASS(EPrivilege)
CRASH_FAULT_CLASS(EIllegalInstruction)
#undef CRASH_FAULT_CLASS

// The report of a main thread that stopped answering.
class EFrozenApplication : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// An exception given as text (CallCrashReport): the class name travels with it.
class TActiveXException : public std::runtime_error
{
public:
    TActiveXException(std::string className, const std::string &message)
        : std::runtime_error(message)
        , m_className(std::move(className))
    {
    }
    const std::string &className() const { return m_className; }

private:
    std::string m_className;
};

} // namespace crashreport
