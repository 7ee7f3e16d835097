// Following a training worker: how soon a new checkpoint reaches the chart, and whether being
// followed slows the worker down, next to the same worker whose output is only drained (what
// a plain `cat > /dev/null` reader would do).
#include "results/ui/realtimeimageview.h"
#include "training/checkpoints.h"
#include "training/ui/runmonitor.h"
#include "util/diagnostics.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <sys/resource.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {
const QString kSource = QStringLiteral(KOLVARA_SOURCE_DIR);
const QString kPython = QStringLiteral("/usr/bin/python3");

struct Run {
    QStringList arguments;  // script first
    QString workspace;
    int epochs = 0;
};

struct Outcome {
    double seconds = 0;             // as the parent saw it, start to exit
    double workerSeconds = NAN;     // as the worker itself reports it, when it does
    double monitorCpuMs = 0;        // this process's CPU time while following
    int chunks = 0;
    std::vector<double> latencyMs;  // checkpoint written to chart holding its point
    bool completed = false;
};

Run fakeRun(const QString& base, int epochs, int steps)
{
    QDir(base).removeRecursively();
    QDir().mkpath(base);
    QFile csv(base + QStringLiteral("/field_outputlabel.csv"));
    csv.open(QIODevice::WriteOnly);
    csv.write("index,i,j,filename,label\n1,0,0,field_00.png,1\n2,0,1,field_01.png,0\n");
    csv.close();
    qputenv("FAKE_TRAINNN_STEPS", QByteArray::number(steps));
    return Run{{kSource + QStringLiteral("/tests/data/fake_trainNN.py"), QStringLiteral("m.json"), base, base, QStringLiteral("custom"),
                QString(), QStringLiteral("4"), QString::number(epochs), QStringLiteral("Adam"), QStringLiteral("mean_squared_error"),
                QString(), QStringLiteral("field_outputlabel.csv"), QStringLiteral("0.60"), QStringLiteral("false"),
                QStringLiteral("false"), QStringLiteral("false"), QStringLiteral("false"), QString()},
               base, epochs};
}

// The worker's own test fixture lays out a small tile run with a tiny network.
Run realRun(const QString& base, int epochs)
{
    QDir(base).removeRecursively();
    QProcess fixture;
    fixture.setWorkingDirectory(kSource);
    fixture.start(kPython, {QStringLiteral("-c"),
                            QStringLiteral("import sys; sys.path.insert(0, 'tests/python'); import trainnn_fixture as f; "
                                           "print('\\n'.join(f.tile_run(sys.argv[1])[0]))"),
                            base});
    fixture.waitForFinished(120000);
    QStringList args = QString::fromUtf8(fixture.readAllStandardOutput()).split(QLatin1Char('\n')).mid(0, 17);
    if (args.size() != 17)
        return Run{};
    args[6] = QString::number(epochs);
    args.prepend(kSource + QStringLiteral("/workers/trainNN.py"));
    return Run{args, args[2], epochs};
}

double nowMs() { return double(QDateTime::currentMSecsSinceEpoch()); }

double cpuMs()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return (use.ru_utime.tv_sec + use.ru_stime.tv_sec) * 1e3 + (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e3;
}

// The stand-in worker ends its standard error with "elapsed <seconds>".
double reportedSeconds(const QString& standardError)
{
    const qsizetype at = standardError.lastIndexOf(QStringLiteral("elapsed "));
    return at < 0 ? NAN : standardError.mid(at + 8).trimmed().toDouble();
}

Outcome followed(const Run& run, RealTimeImageView& chart, QLabel& state)
{
    Outcome out;
    std::map<int, double> shownAt;  // epoch -> when the chart first held it
    auto* process = new QProcess;
    RunMonitor monitor(process, RunMonitor::Run{run.epochs, run.workspace, QStringLiteral("field")});
    QEventLoop loop;
    QObject::connect(&monitor, &RunMonitor::chartUpdated, &chart, [&](const ChartPoints& p) {
        chart.setPoints(p);
        chart.repaint();  // the point is on screen, not just scheduled
        if (!p.valid_x.empty())
            shownAt.emplace(p.valid_x.back(), nowMs());
    });
    QObject::connect(&monitor, &RunMonitor::stateChanged, &state, &QLabel::setText);
    QObject::connect(&monitor, &RunMonitor::trainingFinished, &loop, [&] { out.completed = true; loop.quit(); });
    QObject::connect(&monitor, &RunMonitor::endedEarly, &loop, [&](const QString& e) {
        std::printf("  worker ended early: %s\n", qPrintable(e.trimmed()));
        loop.quit();
    });
    QElapsedTimer clock;
    const double cpuBefore = cpuMs();
    clock.start();
    process->start(kPython, run.arguments);
    loop.exec();
    out.seconds = clock.nsecsElapsed() / 1e9;
    out.monitorCpuMs = cpuMs() - cpuBefore;
    out.chunks = int(monitor.outputChunks().size());
    out.workerSeconds = reportedSeconds(monitor.standardErrorText());
    const QStringList names = checkpoints::list(run.workspace).names;
    for (const auto& [epoch, at] : shownAt) {
        if (epoch >= 1 && epoch <= names.size()) {
            const QFileInfo file(run.workspace + QLatin1Char('/') + names[epoch - 1]);
            out.latencyMs.push_back(at - double(file.lastModified().toMSecsSinceEpoch()));
        }
    }
    return out;
}

Outcome drained(const Run& run)
{
    Outcome out;
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &loop, [&] { process.readAllStandardOutput(); });
    QByteArray standardError;
    QObject::connect(&process, &QProcess::readyReadStandardError, &loop, [&] { standardError += process.readAllStandardError(); });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    process.start(kPython, run.arguments);
    loop.exec();
    out.seconds = clock.nsecsElapsed() / 1e9;
    out.completed = process.exitCode() == 0;
    standardError += process.readAllStandardError();
    out.workerSeconds = reportedSeconds(QString::fromUtf8(standardError));
    return out;
}

double percentile(std::vector<double> v, double q)
{
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    const size_t index = size_t(std::ceil(q * double(v.size()))) - (q > 0 ? 1 : 0);
    return v[std::min(index, v.size() - 1)];
}

double median(std::vector<double> v) { return percentile(std::move(v), 0.5); }

// Alternates drained and followed runs of the same worker and prints both times.
void compare(const char* title, int rounds, const std::function<Run()>& make, RealTimeImageView& chart, QLabel& state,
             std::vector<double>* latencies)
{
    std::vector<double> alone, watched, aloneSelf, watchedSelf, cpuPerChunk, cpuTotal;
    for (int r = 0; r < rounds; ++r) {
        // Alternate which goes first, so warm caches favour neither.
        Outcome a, b;
        if (r % 2 == 0) {
            a = drained(make());
            b = followed(make(), chart, state);
        } else {
            b = followed(make(), chart, state);
            a = drained(make());
        }
        if (!a.completed || !b.completed) {
            std::printf("  %s: a run did not complete; skipped\n", title);
            continue;
        }
        alone.push_back(a.seconds);
        watched.push_back(b.seconds);
        aloneSelf.push_back(a.workerSeconds);
        watchedSelf.push_back(b.workerSeconds);
        cpuPerChunk.push_back(b.chunks ? b.monitorCpuMs * 1e3 / b.chunks : NAN);
        cpuTotal.push_back(b.monitorCpuMs);
        if (latencies)
            latencies->insert(latencies->end(), b.latencyMs.begin(), b.latencyMs.end());
    }
    if (alone.empty())
        return;
    const double ratio = median(watched) / median(alone);
    std::printf("%s (%d rounds)\n", title, int(alone.size()));
    const double fastest = *std::min_element(watched.begin(), watched.end()) / *std::min_element(alone.begin(), alone.end());
    std::printf("  start to exit      drained %8.3f s   followed %8.3f s   ratio %.4f (%+.2f %%); fastest runs %+.2f %%\n",
                median(alone), median(watched), ratio, (ratio - 1) * 100, (fastest - 1) * 100);
    if (!std::isnan(median(aloneSelf))) {
        const double own = median(watchedSelf) / median(aloneSelf);
        std::printf("  worker's own time  drained %8.3f s   followed %8.3f s   ratio %.4f (%+.2f %%)\n", median(aloneSelf),
                    median(watchedSelf), own, (own - 1) * 100);
    }
    std::printf("  monitor CPU        %.1f us per output chunk, %.1f ms per run (%.2f %% of the run)\n", median(cpuPerChunk),
                median(cpuTotal), median(cpuTotal) / (median(watched) * 10));
}
}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    diag::setEnabled(false);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const QString base = QDir::tempPath() + QStringLiteral("/kolvara-bench-monitor");
    qputenv("FAKE_TRAINNN_TIMING", "1");

    RealTimeImageView chart;
    chart.resize(500, 450);
    chart.state.rownum = 100;
    chart.state.colnum = 20;
    chart.state.checkstate.insert(chart.state.checkstate.begin(), 1);
    chart.show();
    QLabel state;
    state.show();

    std::printf("Monitoring a training worker (figures only; median of alternating runs)\n");
    std::vector<double> latencies;
    qputenv("FAKE_TRAINNN_STEP_SECONDS", "0.02");
    compare("stand-in worker, 20 epochs x 5 redraws", quick ? 2 : 5, [&] { return fakeRun(base + QStringLiteral("/paced"), 20, 5); },
            chart, state, &latencies);
    qputenv("FAKE_TRAINNN_STEP_SECONDS", "0");
    compare("stand-in worker, 10 epochs x 2000 redraws", quick ? 2 : 5,
            [&] { return fakeRun(base + QStringLiteral("/flood"), 10, 2000); }, chart, state, nullptr);
    compare("trainNN.py, tiny tile run, 4 epochs", quick ? 2 : 6, [&] { return realRun(base + QStringLiteral("/real"), 4); }, chart,
            state, &latencies);
    std::printf("checkpoint written -> chart holds its point: %zu samples, median %.1f ms, p95 %.1f ms, max %.1f ms "
                "(file times have 1 ms resolution)\n",
                latencies.size(), median(latencies), percentile(latencies, 0.95),
                latencies.empty() ? NAN : *std::max_element(latencies.begin(), latencies.end()));
    QDir(base).removeRecursively();
    return 0;
}
