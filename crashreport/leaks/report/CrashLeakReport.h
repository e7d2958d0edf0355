#pragma once
// The crash-report core's side of the leak catcher: the callbacks that turn the catcher's
// findings into reports. They are registered with the catcher when the program starts (after
// "CrashReport.Init").

#include <stdexcept>

namespace crashreport
{

class EMemoryLeak : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
class EMemoryOverrun : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};
class EMultiFree : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Registers the callbacks with the catcher (done by the library's start-up; callable again).
void CrashRegisterLeakCallbacks();

} // namespace crashreport
