// Time from starting a process to the first paint of its main window, for vetu-config's
// start-up and for an empty Qt main window, measured alternately in the same run.
// Usage: startup-bench [rounds]   (the platform is QT_QPA_PLATFORM, offscreen by default)
#include "BenchFigures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

struct Sample {
    double wallMs = -1; // from start() until the probe reports its first paint
    double cpuMs = -1; // CPU time the probe had used by then
};

Sample Measure(const QString &program, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    Sample sample;
    QByteArray output;
    while (process.waitForReadyRead(20000)) {
        output += process.readAllStandardOutput();
        if (output.contains('\n')) {
            sample.wallMs = timer.nsecsElapsed() / 1e6;
            break;
        }
    }
    if (!process.waitForFinished(20000))
        process.kill();
    const QList<QByteArray> words = output.trimmed().split(' ');
    if (words.size() != 2 || words[0] != "painted")
        return {};
    sample.cpuMs = words[1].toDouble();
    return sample;
}

void PrintRow(const char *what, const std::vector<double> &wall, const std::vector<double> &cpu, const char *unit)
{
    const Figures w = Summarise(wall);
    const Figures c = Summarise(cpu);
    std::printf("  %-26s %8.2f %-2s (%.2f .. %.2f)   %8.2f %-2s (%.2f .. %.2f)\n", what, w.median, unit, w.low,
        w.high, c.median, unit, c.low, c.high);
}

bool CopySampleDevice(const QString &to)
{
    for (const char *name : { "Vetu-Configuration.txt", "Configuration.ini" })
        if (!QFile::copy(
                QStringLiteral(VETU_SAMPLE_DEVICE "/") + QLatin1String(name), to + QLatin1String(name)))
            return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir device;
    const QString folder = device.path() + QLatin1Char('/');
    if (!device.isValid() || !CopySampleDevice(folder)) {
        std::fprintf(stderr, "cannot prepare the sample device folder\n");
        return 1;
    }
    const QString dir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    // One unmeasured start of each warms the file cache.
    Measure(dir + QStringLiteral("startup-probe-empty"), {});
    Measure(dir + QStringLiteral("startup-probe-vetu"), { folder });

    std::vector<double> emptyWall, vetuWall, emptyCpu, vetuCpu, wallRatio, cpuRatio;
    for (int i = 0; i < rounds; ++i) {
        const Sample e = Measure(dir + QStringLiteral("startup-probe-empty"), {});
        const Sample v = Measure(dir + QStringLiteral("startup-probe-vetu"), { folder });
        if (e.cpuMs < 0 || v.cpuMs < 0) {
            std::fprintf(stderr, "a probe did not report its first paint\n");
            return 1;
        }
        emptyWall.push_back(e.wallMs);
        vetuWall.push_back(v.wallMs);
        emptyCpu.push_back(e.cpuMs);
        vetuCpu.push_back(v.cpuMs);
        // Each round's two starts ran back to back, so their ratio shares the machine's load.
        wallRatio.push_back(v.wallMs / e.wallMs);
        cpuRatio.push_back(v.cpuMs / e.cpuMs);
    }
    std::printf("Start-up to the first paint of the main window, median of %d runs (%s),\n", rounds,
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("spread: lowest .. highest run\n");
    std::printf("                             wall clock                      CPU time\n");
    PrintRow("empty Qt main window:", emptyWall, emptyCpu, "ms");
    PrintRow("vetu-config main window:", vetuWall, vetuCpu, "ms");
    PrintRow("ratio per round:", wallRatio, cpuRatio, "x");
    std::printf("  (target: ratio at most 1.30)\n");
    return 0;
}
