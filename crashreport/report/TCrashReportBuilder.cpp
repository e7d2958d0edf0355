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
} // namespace

std::string TCrashReportBuilder::generalSections(const ReportInput &in, const ReportOptions &options) const
{
    const TReportFields &f = options.fields;
    auto t = [this](int id) { return m_texts.text(id); };
    auto date = [this](std::time_t time) { return formatReportDate(m_clock.toLocal(time)); };
    TLogItem log(0);

    const ApplicationValues &app = in.application;
    log.addSection(t(TextApplication));
    log.addItem(t(38), date(app.startTime), f.test(FieldStartDate));
    log.addItem(t(39), app.description.empty() ? app.moduleName : app.moduleName + " - (" + app.description + ")",
                f.test(FieldNameDescription));
    log.addItem(t(40), app.version, f.test(FieldVersionNumber));
    log.addItem(t(41), app.commandLine, f.test(FieldParameters));
    log.addItem(t(42), app.buildTime ? date(app.buildTime) : std::string(), f.test(FieldCompilationDate));
    log.addItem(t(43), formatDuration(std::int64_t(in.exception.time) - std::int64_t(app.startTime)),
                f.test(FieldUpTime));

    const ExceptionValues &ex = in.exception;
    log.addSection(t(TextException));
    log.addItem(t(45), date(ex.time), f.test(FieldExceptionDate));
    log.addItem(t(46), ex.address ? formatHex(ex.address, 8) : std::string(), f.test(FieldExceptionAddress));
    log.addItem(t(47), ex.moduleName, f.test(FieldExceptionModuleName));
    log.addItem(t(48), ex.moduleVersion, f.test(FieldExceptionModuleVersion));
    log.addItem(t(49), ex.typeName, f.test(FieldExceptionType));
    log.addItem(t(50), ex.message, f.test(FieldExceptionMessage));
    log.addItem(t(51), ex.bugId, f.test(FieldExceptionId));
    log.addItem(t(52), ex.count, f.test(FieldExceptionCount));
    log.addItem(t(53), ex.status, f.test(FieldExceptionStatus));
    log.addItem(t(54), ex.note, f.test(FieldExceptionNote));

    const UserValues &u = in.user;
    log.addSection(t(TextUser));
    log.addItem(t(56), u.login, f.test(FieldUserId));
    log.addItem(t(57), u.fullName, f.test(FieldUserName));
    log.addItem(t(58), u.email, f.test(FieldUserEmail));
    log.addItem(t(59), u.company, f.test(FieldUserCompany));
    log.addItem(t(60), u.privileges, f.test(FieldUserPrivileges));

    const ActiveControlValues &c = in.controls;
    const bool controls = !options.consoleProgram;
    log.addSection(t(TextActiveControls));
    log.addItem(t(62), c.formClass, controls && f.test(FieldFormClass));
    log.addItem(t(63), c.formText, controls && f.test(FieldFormText));
    log.addItem(t(64), c.controlClass, controls && f.test(FieldControlClass));
    log.addItem(t(65), c.controlIsPassword ? masked(c.controlText) : c.controlText,
                controls && f.test(FieldControlText));

    const ComputerValues &pc = in.computer;
    log.addSection(t(TextComputer));
    log.addItem(t(67), pc.name, f.test(FieldComputerName));
    log.addItem(t(68), optionalMegabytes(pc.totalMemory), f.test(FieldTotalMemory));
    log.addItem(t(69), optionalMegabytes(pc.freeMemory), f.test(FieldFreeMemory));
    log.addItem(t(70), optionalMegabytes(pc.totalDisk), f.test(FieldTotalDisk));
    log.addItem(t(71), optionalMegabytes(pc.freeDisk), f.test(FieldFreeDisk));
    log.addItem(t(72), pc.upTimeSeconds ? formatDuration(*pc.upTimeSeconds) : std::string(), f.test(FieldSystemUpTime));
    log.addItem(t(73), pc.processor, f.test(FieldProcessor));
    std::string mode = "unknown", dpi = "unknown";
    if (pc.display) {
        mode = std::to_string(pc.display->width) + " x " + std::to_string(pc.display->height) + ", "
            + std::to_string(pc.display->bitsPerPixel) + " bit";
        dpi = std::to_string(pc.display->dpi);
    }
    log.addItem(t(74), mode, f.test(FieldDisplayMode));
    log.addItem(t(75), dpi, f.test(FieldDisplayDpi));
    log.addItem(t(76), pc.videoCard, f.test(FieldVideoCard));
    log.addItem(t(77), pc.printer, f.test(FieldPrinter));

    const OsValues &os = in.operatingSystem;
    log.addSection(t(TextOperatingSystem));
    log.addItem(t(79), os.type, f.test(FieldOsType));
    log.addItem(t(80), os.build, f.test(FieldOsBuild));
    log.addItem(t(81), os.update, f.test(FieldOsUpdate));
    log.addItem(t(82), os.language, f.test(FieldOsLanguage));
    log.addItem(t(83), os.charset, f.test(FieldOsCharset));

    const NetworkValues &n = in.network;
    log.addSection(t(TextNetwork));
    log.addItem(t(85), n.ipAddress, f.test(FieldIpAddress));
    log.addItem(t(86), n.submask, f.test(FieldSubmask));
    log.addItem(t(87), n.gateway, f.test(FieldGateway));
    log.addItem(t(88), n.dns1, f.test(FieldDns1));
    log.addItem(t(89), n.dns2, f.test(FieldDns2));
    log.addItem(t(90), n.dhcp, f.test(FieldDhcp));
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
        if (in.assemblerLines.empty()) {
            r.assembler = "\r\n" + assemblerSection(in.assembler, m_texts);
        } else {
            r.assembler = "\r\n" + assemblerTitle(m_texts);
            for (const std::string &line : in.assemblerLines)
                if (!line.empty()) // an empty line would end the section for readers
                    r.assembler += line + "\r\n";
        }
        if (in.cpuLines.empty()) {
            r.cpu = "\r\n" + cpuSection(in, m_texts);
        } else {
            r.cpu = "\r\n";
            for (const std::string &line : in.cpuLines)
                r.cpu += line + "\r\n";
        }
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
