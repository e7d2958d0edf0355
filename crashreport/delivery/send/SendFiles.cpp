// The files of one send: written into a private folder under the system's temporary folder
// (made with mkdtemp, so that no other user can place or link a file under the fixed names), and
// removed with that folder at the end.

#include "SendContext.h"

#include "CrashModuleOptions.h"
#include "LogXml.h"
#include "SendEvents.h"
#include "SendLists.h"
#include "SentFileName.h"
#include "ZipWriter.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace crashreport
{

namespace
{
    bool writeFile(const std::string &path, const std::string &content)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.close();
        return static_cast<bool>(out);
    }

    std::string programLogName()
    {
        std::error_code ec;
        const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
        const std::string name = ec ? std::string("program") : exe.filename().string();
        return name + ".crashlog";
    }

    bool isFile(const std::string &path)
    {
        std::error_code ec;
        return !path.empty() && fs::is_regular_file(path, ec);
    }
} // namespace

void writeSendFiles(TCrashSendContext &context)
{
    context.reportFile.clear();
    context.htmlFile.clear();
    context.xmlFile.clear();
    context.archive.clear();
    context.package.clear();
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "crashreport-send-XXXXXX").string();
    if (ec || !::mkdtemp(pattern.data())) {
        context.warnings.warning("eeNone", context.request.record.address,
            "Cannot create a temporary folder for the files to send.");
        context.folder.clear();
        return;
    }
    context.folder = pattern;

    const TCrashSendRequest &r = context.request;
    const std::string logName
        = r.logFileName.empty() ? programLogName() : fs::path(r.logFileName).filename().string();
    std::string report = r.reportText;
    if (report.size() < 6 || report.compare(report.size() - 6, 6, "\r\n\r\n\r\n") != 0)
        report += "\r\n\r\n\r\n";
    const std::string reportFile = context.folder + "/" + logName;
    if (writeFile(reportFile, report))
        context.reportFile = reportFile;

    const std::uint16_t flags = context.options.sendFlags();
    if ((flags & 0x040) && !r.lastHtmlPage.empty()) {
        const std::string html = context.folder + "/LastHTMLPage.html";
        if (writeFile(html, r.lastHtmlPage))
            context.htmlFile = html;
    }
    if (flags & 0x008) {
        const std::string xml = context.folder + "/" + fs::path(logName).replace_extension(".xml").string();
        if (writeFile(xml,
                logToXml(r.xmlReports.empty() ? std::vector<std::string> { r.reportText } : r.xmlReports)))
            context.xmlFile = xml;
    }
}

void removeSendFiles(TCrashSendContext &context)
{
    if (context.folder.empty())
        return;
    std::error_code ec;
    fs::remove_all(context.folder, ec);
    context.folder.clear();
    context.package.clear();
}

void packSendFiles(TCrashSendContext &context, bool forMail)
{
    const TCrashModuleOptions &o = context.options;
    const TCrashSendRequest &r = context.request;
    context.package.clear();

    std::vector<std::string> files = splitSendList(o.attachedFiles());
    files.insert(files.end(), r.attachedFiles.begin(), r.attachedFiles.end());
    if (!(forMail && o.appendLogs()) && !context.reportFile.empty())
        files.push_back(context.reportFile);
    if ((o.sendFlags() & 0x010) && !r.screenshotFile.empty())
        files.push_back(r.screenshotFile);
    if (!context.htmlFile.empty())
        files.push_back(context.htmlFile);
    if (!context.xmlFile.empty())
        files.push_back(context.xmlFile);
    sendAttachedFilesEvent(r.record, files);

    std::vector<TZipEntry> entries;
    for (const std::string &file : files)
        if (isFile(file))
            entries.push_back(
                { file, sentFileName(file, o.sendFlags(), r.exceptionTime, context.computerName) });
    if (entries.empty() || context.folder.empty())
        return;
    const std::string archive = context.folder + "/BugReport.zip";
    if (PackFiles(archive, o.zipPassword(), entries) > 0) {
        context.archive = archive;
        context.package.push_back(archive);
    }
}

} // namespace crashreport
