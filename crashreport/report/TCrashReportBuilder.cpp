#include "TCrashReportBuilder.h"

#include "CpuSection.h"
#include "ReportFormat.h"
#include "ReportTables.h"
#include "TLogItem.h"

namespace crashreport {

namespace {
std::string masked(const std::string &text)
{
    return std::string(utf8Length(text), '*');
}

std::string optionalMegabytes(const std::optional<std::uint64_t> &bytes)
{
    return bytes ? formatMegabytes(*bytes) : std::string();
}

// One general item: its show flag and its value. Only the message and the note may hold several
// lines; any other value (a name, a path, a command line) is one line, whatever it contains.
struct Item {
    ReportField field;
    std::string value;
};

bool mayHoldLines(ReportField field)
{
    return field == FieldExceptionMessage || field == FieldExceptionNote;
}

// A numbered section whose item labels are the texts that follow its title's text id.
void addSection(TLogItem &log, const ReportTexts &texts, const TReportFields &fields, int titleId,
                const std::vector<Item> &items, bool shown = true)
{
    log.addSection(texts.text(titleId));
    int labelId = titleId;
    for (const Item &item : items)
        log.addItem(texts.text(++labelId), mayHoldLines(item.field) ? item.value : cleanOneLine(item.value),
                    shown && fields.test(item.field));
}
} // namespace

std::string TCrashReportBuilder::generalSections(const ReportInput &in, const ReportOptions &options) const
{
    const TReportFields &f = options.fields;
    auto date = [this](std::time_t time) { return formatReportDate(m_clock.toLocal(time)); };
    TLogItem log(0);

    const ApplicationValues &app = in.application;
    addSection(log, m_texts, f, TextApplication,
               { { FieldStartDate, date(app.startTime) },
                 { FieldNameDescription,
                   app.description.empty() ? app.moduleName : app.moduleName + " - (" + app.description + ")" },
                 { FieldVersionNumber, app.version },
                 { FieldParameters, app.commandLine },
                 { FieldCompilationDate, app.buildTime ? date(app.buildTime) : std::string() },
                 { FieldUpTime, formatDuration(std::int64_t(in.exception.time) - std::int64_t(app.startTime)) } });

    const ExceptionValues &ex = in.exception;
    addSection(log, m_texts, f, TextException,
               { { FieldExceptionDate, date(ex.time) },
                 { FieldExceptionAddress, ex.address ? formatHex(ex.address, 16) : std::string() },
                 { FieldExceptionModuleName, ex.moduleName },
                 { FieldExceptionModuleVersion, ex.moduleVersion },
                 { FieldExceptionType, ex.typeName },
                 { FieldExceptionMessage, ex.message },
                 { FieldExceptionId, ex.bugId },
                 { FieldExceptionCount, ex.count },
                 { FieldExceptionStatus, ex.status },
                 { FieldExceptionNote, ex.note } });

    // The show flags hold Privileges before Company; the labels come in the report's order.
    const UserValues &u = in.user;
    addSection(log, m_texts, f, TextUser,
               { { FieldUserId, u.login },
                 { FieldUserName, u.fullName },
                 { FieldUserEmail, u.email },
                 { FieldUserCompany, u.company },
                 { FieldUserPrivileges, u.privileges } });

    const ActiveControlValues &c = in.controls;
    addSection(log, m_texts, f, TextActiveControls,
               { { FieldFormClass, c.formClass },
                 { FieldFormText, c.formText },
                 { FieldControlClass, c.controlClass },
                 { FieldControlText, c.controlIsPassword ? masked(c.controlText) : c.controlText } },
               !options.consoleProgram);

    const ComputerValues &pc = in.computer;
    std::string mode = "unknown", dpi = "unknown";
    if (pc.display) {
        mode = std::to_string(pc.display->width) + " x " + std::to_string(pc.display->height) + ", "
            + std::to_string(pc.display->bitsPerPixel) + " bit";
        dpi = std::to_string(pc.display->dpi);
    }
    addSection(log, m_texts, f, TextComputer,
               { { FieldComputerName, pc.name },
                 { FieldTotalMemory, optionalMegabytes(pc.totalMemory) },
                 { FieldFreeMemory, optionalMegabytes(pc.freeMemory) },
                 { FieldTotalDisk, optionalMegabytes(pc.totalDisk) },
                 { FieldFreeDisk, optionalMegabytes(pc.freeDisk) },
                 { FieldSystemUpTime, pc.upTimeSeconds ? formatDuration(*pc.upTimeSeconds) : std::string() },
                 { FieldProcessor, pc.processor },
                 { FieldDisplayMode, mode },
                 { FieldDisplayDpi, dpi },
                 { FieldVideoCard, pc.videoCard },
                 { FieldPrinter, pc.printer } });

    const OsValues &os = in.operatingSystem;
    addSection(log, m_texts, f, TextOperatingSystem,
               { { FieldOsType, os.type },
                 { FieldOsBuild, os.build },
                 { FieldOsUpdate, os.update },
                 { FieldOsLanguage, os.language },
                 { FieldOsCharset, os.charset } });

    const NetworkValues &n = in.network;
    addSection(log, m_texts, f, TextNetwork,
               { { FieldIpAddress, n.ipAddress },
                 { FieldSubmask, n.submask },
                 { FieldGateway, n.gateway },
                 { FieldDns1, n.dns1 },
                 { FieldDns2, n.dns2 },
                 { FieldDhcp, n.dhcp } });
    return log.text();
}

CrashReportText TCrashReportBuilder::build(const ReportInput &in, const ReportOptions &options) const
{
    CrashReportText r;
    r.introduction = m_texts.text(TextIntroduction) + "\r\n\r\n";
    const std::string sections = generalSections(in, options);
    r.general = std::string(CrashReportHeader) + "\r\n\r\n" + sections + (sections.empty() ? "" : "\r\n");
    r.callStack = "\r\n" + callStackTable(in.stack, options.stackFlags, m_texts, m_threads);
    if (options.logSections & LogSectionModulesProcesses) {
        r.modules = modulesTable(in.modules, m_texts, m_clock);
        r.processes = processesTable(in.processes, m_texts);
    } else {
        r.modules = tableTitleOnly(m_texts.text(TextModulesInformation));
        r.processes = tableTitleOnly(m_texts.text(TextProcessesInformation));
    }
    if (options.logSections & LogSectionAssemblerCpu) {
        r.assembler = "\r\n" + assemblerSection(in.assembler, m_texts);
        r.cpu = "\r\n" + cpuSection(in, m_texts);
    } else {
        r.assembler = assemblerTitle(m_texts);
        r.cpu = "\r\n\r\n" + registersTitle(m_texts);
    }
    if (!in.customData.empty() && options.fields.test(FieldCustomData)) {
        TLogItem custom(7);
        custom.addSection(m_texts.text(TextCustomInformation));
        for (const auto &[label, value] : in.customData)
            custom.addItem(label, value, true);
        r.custom = "\r\n" + custom.text() + "\r\n";
    }
    r.report = r.general + r.callStack + r.modules + r.processes + r.assembler + r.cpu + r.custom;
    return r;
}

void fillSystemValues(ReportInput &input, const SystemInfoSource *system, const DisplayInfoSource *display,
                      const ActiveControlsSource *controls)
{
    if (system) {
        input.user = system->user();
        input.computer = system->computer();
        input.operatingSystem = system->operatingSystem();
        input.network = system->network();
    }
    if (display)
        input.computer.display = display->display();
    if (controls)
        input.controls = controls->activeControls();
}

void fillCpuValues(ReportInput &input, const TCrashCpuContext &context)
{
    const std::uint64_t address = input.exception.address;
    input.registers = context;
    input.assembler = address ? CrashDisassembleAround(address) : std::vector<TCrashAsmInstruction> {};
    input.stackDumpAddress = context.valid ? context.rsp : 0;
    input.stackDump = input.stackDumpAddress ? CrashReadDump(input.stackDumpAddress, CpuStackDumpSize)
                                             : std::vector<std::uint8_t> {};
    input.memoryDumpAddress = address;
    input.memoryDump = address ? CrashReadDump(address, CpuMemoryDumpSize) : std::vector<std::uint8_t> {};
}

void insertSectionAfterGeneral(CrashReportText &report, const std::string &sectionText)
{
    if (sectionText.empty())
        return;
    std::string addition = "\r\n" + sectionText;
    if (addition.size() < 2 || addition.compare(addition.size() - 2, 2, "\r\n") != 0)
        addition += "\r\n";
    const std::size_t at = report.general.size();
    if (report.report.compare(0, at, report.general) == 0)
        report.report.insert(at, addition);
    report.general += addition;
}

} // namespace crashreport
