#pragma once
// Runs a capture test program as a child process with a time-out, its output in files.

#include <string>

namespace crashreport::testing
{

struct ProbeRun {
    int exitCode = -1; // -1: killed after the time-out, or did not start
    bool timedOut = false;
    std::string out; // standard output
    std::string err; // standard error
};

// Runs program with one argument in folder (given as CRASH_PROBE_DIR), at most timeoutSeconds.
ProbeRun runProbe(const std::string &program, const std::string &argument, const std::string &folder,
    int timeoutSeconds = 30);

std::string readWholeFile(const std::string &path);

} // namespace crashreport::testing
