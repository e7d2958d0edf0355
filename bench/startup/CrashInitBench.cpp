// The crash-report library's share of vetu-config's start-up, in one run:
// - "CrashReport.Init" as timed inside the real vetu-config (it prints the figure when
//   CRASHREPORT_STARTUP_FIGURES is set, and the CPU time at the main window's first paint);
// - process start to first paint of the real vetu-config (with the library) against
//   startup-probe-vetu, the same start-up without the library, measured alternately.
// Usage: startup-crash-bench [rounds]   (the platform is QT_QPA_PLATFORM, offscreen by default)
#include "BenchFigures.h"

#include <QCoreApplication>
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
    double wallMs = -1; // from start() until the "painted" line arrived
    double cpuMs = -1; // the CPU time the program had used by its first paint
    double initMs = -1; // "CrashReport.Init", when the program printed it
};

Sample Measure(const QString &program, const QStringList &arguments, const QString &configFolder)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM")))
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("CRASHREPORT_STARTUP_FIGURES"), QStringLiteral("1"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configFolder);
    environment.insert(QStringLiteral("XDG_STATE_HOME"), configFolder);
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    Sample sample;
    QByteArray output;
    while (sample.cpuMs < 0 && process.waitForReadyRead(20000)) {
        output += process.readAllStandardOutput();
        for (const QByteArray &line : output.split('\n')) {
            const QList<QByteArray> words = line.trimmed().split(' ');
            if (words.size() != 2)
                continue;
            if (words[0] == "crash-init-ns")
                sample.initMs = words[1].toDouble() / 1e6;
            else if (words[0] == "painted" && sample.cpuMs < 0) {
                sample.wallMs = timer.nsecsElapsed() / 1e6;
                sample.cpuMs = words[1].toDouble();
            }
        }
    }
    // vetu-config runs on after its first paint: it is ended here.
    process.kill();
    process.waitForFinished(20000);
    return sample;
}

void PrintRow(const char *what, const std::vector<double> &values, const char *unit)
{
    const Figures f = Summarise(values);
    std::printf("  %-44s %9.3f %-2s (%.3f .. %.3f)\n", what, f.median, unit, f.low, f.high);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    QTemporaryDir device, config;
    const QString folder = device.path() + QLatin1Char('/');
    for (const char *name : { "Vetu-Configuration.txt", "Configuration.ini" })
        if (!device.isValid()
            || !QFile::copy(QStringLiteral(VETU_SAMPLE_DEVICE "/") + QLatin1String(name), folder + QLatin1String(name))) {
            std::fprintf(stderr, "cannot prepare the sample device folder\n");
            return 1;
        }
    const QString with = QStringLiteral(VETU_CONFIG_PROGRAM);
    const QString without = QCoreApplication::applicationDirPath() + QStringLiteral("/startup-probe-vetu");
    // One unmeasured start of each warms the file cache.
    Measure(with, { folder }, config.path());
    Measure(without, { folder }, config.path());

    std::vector<double> init, withWall, withoutWall, withCpu, withoutCpu, wallRatio, cpuRatio;
    for (int i = 0; i < rounds; ++i) {
        const Sample w = Measure(with, { folder }, config.path());
        const Sample o = Measure(without, { folder }, config.path());
        if (w.cpuMs < 0 || o.cpuMs < 0 || w.initMs < 0) {
            std::fprintf(stderr, "a program did not report its figures\n");
            return 1;
        }
        init.push_back(w.initMs);
        withWall.push_back(w.wallMs);
        withoutWall.push_back(o.wallMs);
        withCpu.push_back(w.cpuMs);
        withoutCpu.push_back(o.cpuMs);
        // The two starts of a round ran back to back: their ratio shares the machine's load.
        wallRatio.push_back(w.wallMs / o.wallMs);
        cpuRatio.push_back(w.cpuMs / o.cpuMs);
    }
    std::printf("vetu-config start-up with the crash-report library, median of %d runs (%s),\n", rounds,
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("spread: lowest .. highest run\n");
    PrintRow("CrashReport.Init inside vetu-config:", init, "ms");
    std::printf("  (target: at most 1 ms)\n");
    PrintRow("start to first paint, with (wall):", withWall, "ms");
    PrintRow("start to first paint, without (wall):", withoutWall, "ms");
    PrintRow("ratio with/without per round (wall):", wallRatio, "x");
    PrintRow("CPU at first paint, with:", withCpu, "ms");
    PrintRow("CPU at first paint, without:", withoutCpu, "ms");
    PrintRow("ratio with/without per round (CPU):", cpuRatio, "x");
    return 0;
}
