#pragma once
// Everything one report is built from. The exception manager fills it from the exception state,
// the walkers and the system sources; tests fill it with fixed values.

#include "CrashDisassembler.h"
#include "CrashModulesList.h"
#include "CrashProcessesList.h"
#include "CrashStackList.h"
#include "ReportFields.h"
#include "ReportItems.h"
#include "ReportSources.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace crashreport {

inline constexpr const char *CrashReportHeader = "CrashReport 6.0.12";
inline constexpr const char *CrashReportVersion = "6.0.12";

// LogSections bits that change the report.
inline constexpr std::uint8_t LogSectionModulesProcesses = 0x10;
inline constexpr std::uint8_t LogSectionAssemblerCpu = 0x20;
// StackFlags bits that select printed call-stack entries.
inline constexpr std::uint8_t StackFlagPrintProcedures = 0x01; // kind 2
inline constexpr std::uint8_t StackFlagPrintUnits = 0x02;      // kind 3

struct ApplicationValues {
    std::time_t startTime = 0;
    std::string moduleName;  // file name of the module
    std::string description; // version description, may be empty
    std::string version;
    std::string commandLine;
    std::time_t buildTime = 0; // 0: unknown
};

struct ExceptionValues {
    std::time_t time = 0;
    std::uint64_t address = 0;
    std::string moduleName;
    std::string moduleVersion;
    std::string typeName; // "Unknown exception type" for an object that is no exception
    std::string message;
    std::string bugId;
    std::string count = "1";
    std::string status = "New";
    std::string note;
};

struct ReportOptions {
    TReportFields fields;
    std::uint8_t stackFlags = 15;
    std::uint8_t logSections = 0x30;
    bool consoleProgram = false; // no active-control items in a console or web-server program
};

struct ReportInput {
    ApplicationValues application;
    ExceptionValues exception;
    UserValues user;
    ActiveControlValues controls;
    ComputerValues computer;
    OsValues operatingSystem;
    NetworkValues network;

    const TCrashStackList *stack = nullptr;
    std::vector<TCrashModulePtr> modules;
    std::vector<TCrashProcess> processes;

    // The instructions around the exception address (CrashDisassembleAround).
    std::vector<TCrashAsmInstruction> assembler;
    // The registers of the exception context; not valid when there is none.
    TCrashCpuContext registers;
    // Raw dumps read by the capture side (fillCpuValues): 128 bytes from the stack pointer, 256
    // bytes from the exception address. Shorter dumps (unreadable memory) are not printed.
    std::uint64_t stackDumpAddress = 0;
    std::vector<std::uint8_t> stackDump;
    std::uint64_t memoryDumpAddress = 0;
    std::vector<std::uint8_t> memoryDump;

    // Lines supplied by the program's listeners: label and value.
    std::vector<std::pair<std::string, std::string>> customData;
};

// The report and its parts. report == general + "\r\n" + callStack + modules + processes +
// assembler + cpu (+ custom), the separators between the last parts being part of them.
struct CrashReportText : ReportParts {
    std::string report;
    std::string introduction; // text 4 and an empty line, shown by the dialogs above the report
    std::string tables() const { return callStack + modules + processes; }
};

} // namespace crashreport
