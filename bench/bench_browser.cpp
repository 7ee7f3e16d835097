// Thumbnail browser benchmark: opens a folder of generated 256 x 256 PNGs (10,000 files, then
// 100,000 names linked to them) and prints, next to a bare QListView with the same item count:
// time from openMultiImageurl to the end of the first paint, time until the thumbnails on screen
// are decoded and handed to the view (next to decoding just those images, with our decoder and
// with a bare QImageReader loop), one scroll step, and memory.
//
//   bench_browser [folder]      (default /tmp/kolvara-bench; files are generated once)
//
// Each measurement runs in a child process of its own so that memory figures do not mix.
#include "app/mainwindow.h"
#include "benchwindow.h"
#include "app/viewcontroller.h"
#include "data/imageset.h"
#include "data/photolayout.h"
#include "data/thumbnaildecoder.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/photolistview.h"
#include "data/ui/thumbnailloader.h"
#include "util/diagnostics.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QListView>
#include <QPainter>
#include <QProcess>
#include <QScrollBar>
#include <QThread>
#include <QThreadPool>
#include <QWheelEvent>
#include <QtConcurrent>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
constexpr int kFiles = 10000;
constexpr int kLinks = 100000;
constexpr int kScrollSteps = 40;
// Each figure is the best of this many runs (memory and ratios within a run: the median): the
// cores may be shared with other work, which only ever makes a run slower.
constexpr int kRuns = 5;

double megabytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(strlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// CPU time of the calling (GUI) thread: unlike wall time, not inflated when other programs
// share the cores.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// ---- The image folders ----------------------------------------------------------------------

QImage picture(int i)
{
    QImage image(256, 256, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, 256, 256);
    g.setColorAt(0, QColor::fromHsv(i * 37 % 360, 180, 230));
    g.setColorAt(1, QColor::fromHsv(i * 91 % 360, 200, 90));
    p.fillRect(image.rect(), g);
    p.setBrush(QColor::fromHsv(i * 13 % 360, 255, 255));
    p.drawEllipse(QPoint(40 + i % 170, 60 + i / 7 % 140), 30 + i % 20, 25);
    p.setPen(Qt::white);
    p.drawText(image.rect(), Qt::AlignCenter, QString::number(i));
    return image;
}

QString imageName(int i) { return QStringLiteral("img%1.png").arg(i, 5, 10, QLatin1Char('0')); }

void prepareFolders(const QString& root)
{
    const QString files = root + QStringLiteral("/files");
    const QString links = root + QStringLiteral("/links");
    if (!QFile::exists(files + QStringLiteral("/.complete"))) {
        std::printf("generating %d PNG files in %s ...\n", kFiles, qPrintable(files));
        std::fflush(stdout);
        QDir().mkpath(files);
        QList<int> all(kFiles);
        std::iota(all.begin(), all.end(), 0);
        QtConcurrent::blockingMap(all, [&](int i) { picture(i).save(files + QLatin1Char('/') + imageName(i)); });
        QFile(files + QStringLiteral("/.complete")).open(QIODevice::WriteOnly);
    }
    if (!QFile::exists(links + QStringLiteral("/.complete"))) {
        std::printf("linking %d names in %s ...\n", kLinks, qPrintable(links));
        std::fflush(stdout);
        QDir().mkpath(links);
        for (int i = 0; i < kLinks; ++i)
            QFile::link(files + QLatin1Char('/') + imageName(i % kFiles),
                        links + QStringLiteral("/link%1.png").arg(i, 6, 10, QLatin1Char('0')));
        QFile(links + QStringLiteral("/.complete")).open(QIODevice::WriteOnly);
    }
}

// The folder's images by name, as a folder scan would list them (built, not listed: a listing
// of 100,000 entries would dwarf what is measured).
QStringList listFolder(const QString& root, int count)
{
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i)
        paths << (count > kFiles ? root + QStringLiteral("/links/link%1.png").arg(i, 6, 10, QLatin1Char('0'))
                                 : root + QStringLiteral("/files/") + imageName(i));
    return paths;
}

// ---- Measuring one process ------------------------------------------------------------------

// Counts paints of a list and remembers when each ended.
class PaintWatch {
public:
    struct End {
        double ms;     // on `clock`
        double cpuMs;  // the GUI thread's CPU time
    };
    QList<End> ends;
    QElapsedTimer clock;

    int paints() const { return int(ends.size()); }
    void ended() { ends.append({clock.nsecsElapsed() / 1e6, threadCpuMs()}); }
    // Runs the event loop until the first paint after `before` paints has ended (it may have
    // ended already, inside the call that started it) and returns when that was.
    End waitForPaint(int before)
    {
        while (paints() == before)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        return ends.at(before);
    }
};

// The bare peer: a QListView that says when a paint has ended, as ours does.
class BareList : public QListView {
public:
    using QListView::QListView;
    PaintWatch* watch = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QListView::paintEvent(event);
        if (watch)
            watch->ended();
    }
};

struct Scroll {
    double median = 0, max = 0, cpuMedian = 0;
};

Scroll scrollSteps(QAbstractScrollArea* view, PaintWatch& watch)
{
    QList<double> steps, cpu;
    QWidget* vp = view->viewport();
    const QPoint at(vp->width() / 2, vp->height() / 2);
    for (int i = 0; i < kScrollSteps; ++i) {
        watch.clock.start();
        const double cpu0 = threadCpuMs();
        const int before = watch.paints();
        QWheelEvent wheel(at, vp->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(vp, &wheel);
        steps << watch.waitForPaint(before).ms;
        cpu << threadCpuMs() - cpu0;
        QThread::msleep(16);  // wheel notches come a frame or more apart
        QCoreApplication::processEvents();
    }
    std::sort(steps.begin(), steps.end());
    std::sort(cpu.begin(), cpu.end());
    return {steps.at(steps.size() / 2), steps.last(), cpu.at(cpu.size() / 2)};
}

// A bare list of the same number of items: names only, no thumbnails, no labels.
class NameModel : public QAbstractListModel {
public:
    explicit NameModel(const QStringList& paths) : m_paths(paths) {}
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : int(m_paths.size()); }
    QVariant data(const QModelIndex& index, int role) const override
    {
        return role == Qt::DisplayRole ? QVariant(imageset::baseName(m_paths.at(index.row()))) : QVariant();
    }

private:
    QStringList m_paths;
};

void warmUp(const QStringList& paths)
{
    // Plugin loading and first-use costs belong to start-up, not to either contestant.
    thumbnaildecoder::decode(paths.last(), QSize(150, 150));
}

// The images decoded with nothing else going on, by as many threads as the browser uses: with
// the browser's decoder, and with a bare QImageReader loop at full size.
std::pair<double, double> decodeAlone(const QStringList& images)
{
    QThreadPool pool;
    pool.setMaxThreadCount(std::clamp(QThread::idealThreadCount(), 1, 8));
    QElapsedTimer clock;
    clock.start();
    QtConcurrent::blockingMapped<QList<QImage>>(&pool, images, [](const QString& p) {
        return thumbnaildecoder::decode(p, QSize(150, 150));
    });
    const double ours = clock.nsecsElapsed() / 1e6;
    clock.restart();
    QtConcurrent::blockingMapped<QList<QImage>>(&pool, images, [](const QString& p) { return QImageReader(p).read(); });
    return {ours, clock.nsecsElapsed() / 1e6};
}

int measureOurs(const QStringList& paths)
{
    diag::setEnabled(false);
    warmUp(paths);
    mainwindow window;
    window.show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    ViewController* c = window.controller();
    multiimagecollectionview* browser = c->labelPane().multiimagecollection();
    PaintWatch watch;
    QObject::connect(browser->collectionView(), &PhotoListView::painted, browser, [&watch] { watch.ended(); });
    // The thumbnails on screen count as shown once the last of them reached the view.
    double visibleDone = -1;
    QObject::connect(&browser->loader(), &ThumbnailLoader::thumbnailReady, browser, [&] {
        if (visibleDone < 0 && browser->visibleThumbnailsReady())
            visibleDone = watch.clock.nsecsElapsed() / 1e6;
    });
    const double rssBefore = megabytes("VmRSS:");

    watch.clock.start();
    const double cpu0 = threadCpuMs();
    const int before = watch.paints();
    c->openPictures(paths);
    const double opened = watch.clock.nsecsElapsed() / 1e6;
    const PaintWatch::End first = watch.waitForPaint(before);
    const double firstPaint = first.ms;
    const double firstPaintCpu = first.cpuMs - cpu0;
    while (visibleDone < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    const photolayout::Window w = browser->collectionView()->currentWindow();
    const double rssOpen = megabytes("VmRSS:");

    const auto [alone, plain] = decodeAlone(paths.mid(w.firstVisible, w.lastVisible - w.firstVisible + 1));
    const Scroll scroll = scrollSteps(browser->collectionView(), watch);
    std::printf("RESULT first=%.2f firstcpu=%.2f opened=%.2f visible=%.2f visiblecount=%d alone=%.2f plain=%.2f "
                "aloneratio=%.3f plainratio=%.3f scrollmed=%.2f scrollmax=%.2f scrollcpu=%.2f rssbefore=%.1f "
                "rssopen=%.1f peak=%.1f\n",
                firstPaint, firstPaintCpu, opened, visibleDone, w.lastVisible - w.firstVisible + 1, alone, plain,
                visibleDone / alone, visibleDone / plain,
                scroll.median, scroll.max, scroll.cpuMedian, rssBefore, rssOpen, megabytes("VmHWM:"));
    return 0;
}

int measureBare(const QStringList& paths)
{
    mainwindow window;  // the same window around it, for the same start-up memory
    window.show();
    PaintWatch watch;
    BareList list(window.controller()->rightView());
    list.watch = &watch;
    list.setViewMode(QListView::IconMode);
    list.setMovement(QListView::Static);
    list.setUniformItemSizes(true);
    list.setGridSize(photolayout::gridSize());
    list.setGeometry(QRect(QPoint(0, 0), window.controller()->workAreaSize()));
    list.show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    const double rssBefore = megabytes("VmRSS:");

    watch.clock.start();
    const double cpu0 = threadCpuMs();
    const int before = watch.paints();
    NameModel model(paths);
    list.setModel(&model);
    const PaintWatch::End first = watch.waitForPaint(before);
    const double firstPaint = first.ms;
    const double firstPaintCpu = first.cpuMs - cpu0;
    const double rssOpen = megabytes("VmRSS:");
    const Scroll scroll = scrollSteps(&list, watch);
    std::printf("RESULT first=%.2f firstcpu=%.2f scrollmed=%.2f scrollmax=%.2f scrollcpu=%.2f rssbefore=%.1f "
                "rssopen=%.1f peak=%.1f\n",
                firstPaint, firstPaintCpu, scroll.median, scroll.max, scroll.cpuMedian, rssBefore, rssOpen,
                megabytes("VmHWM:"));
    return 0;
}

// ---- The report -----------------------------------------------------------------------------

using Figures = QHash<QString, double>;

Figures runOnce(const QString& kind, int count, const QString& root)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--measure"), kind, QString::number(count), root});
    child.waitForFinished(-1);
    Figures out;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        if (!line.startsWith("RESULT "))
            continue;
        for (const QByteArray& pair : line.mid(7).split(' ')) {
            const QList<QByteArray> kv = pair.split('=');
            if (kv.size() == 2)
                out.insert(QString::fromUtf8(kv[0]), kv[1].toDouble());
        }
    }
    if (out.isEmpty())
        std::printf("  (%s %d failed: exit %d)\n", qPrintable(kind), count, child.exitCode());
    return out;
}

Figures runChild(const QString& kind, int count, const QString& root)
{
    QHash<QString, QList<double>> all;
    for (int run = 0; run < kRuns; ++run) {
        const Figures once = runOnce(kind, count, root);
        for (auto it = once.begin(); it != once.end(); ++it)
            all[it.key()].append(it.value());
    }
    Figures out;
    for (auto it = all.begin(); it != all.end(); ++it) {
        QList<double> values = it.value();
        std::sort(values.begin(), values.end());
        // Memory and the ratios of figures taken in the same run: the median.
        const bool median = it.key().startsWith(QStringLiteral("rss")) || it.key() == QStringLiteral("peak")
                            || it.key().endsWith(QStringLiteral("ratio"));
        out.insert(it.key(), median ? values.at(values.size() / 2) : values.first());
    }
    return out;
}

// `ratio` when given, else ours / peer.
void row(const char* what, double ours, double peer, const char* unit, const char* target, double ratio = -1)
{
    if (ratio < 0)
        ratio = peer > 0 ? ours / peer : 0.0;
    std::printf("  %-44s %9.2f %s   peer %9.2f %s   ratio %5.2fx   %s\n", what, ours, unit, peer, unit, ratio, target);
}

int report(const QString& root)
{
    prepareFolders(root);
    std::printf("thumbnail browser, offscreen, %d threads for decoding, window 1200 x 800; best of %d runs "
                "(memory, decoding ratios: median)\n",
                std::clamp(QThread::idealThreadCount(), 1, 8), kRuns);
    QHash<int, Figures> ours, bare;
    for (const int count : {kFiles, kLinks}) {
        ours[count] = runChild(QStringLiteral("ours"), count, root);
        bare[count] = runChild(QStringLiteral("bare"), count, root);
        const Figures& o = ours[count];
        const Figures& b = bare[count];
        std::printf("\n%d images (peer: bare QListView with %d items; for decoding: the same images alone)\n", count,
                    count);
        row("first painted screen after open", o["first"], b["first"], "ms", "target < 100 ms and < 3x");
        row("  the same, CPU time of the GUI thread", o["firstcpu"], b["firstcpu"], "ms", "");
        // A large set is painted first and labelled after: the window answers input from here on.
        std::printf("  %-44s %9.2f ms\n", "  openMultiImageurl returned", o["opened"]);
        // The decoding peers run in the same process right after; their ratio is the median of the runs'.
        row("thumbnails on screen decoded, from open", o["visible"], o["alone"], "ms", "target < 1.5x", o["aloneratio"]);
        row("  against a bare QImageReader loop", o["visible"], o["plain"], "ms", "", o["plainratio"]);
        std::printf("  %-44s %9.0f images\n", "  thumbnails on screen", o["visiblecount"]);
        row("scroll step (one wheel notch), median", o["scrollmed"], b["scrollmed"], "ms", "target < 16 ms");
        row("scroll step (one wheel notch), slowest", o["scrollmax"], b["scrollmax"], "ms", "target < 16 ms");
        row("  median, CPU time of the GUI thread", o["scrollcpu"], b["scrollcpu"], "ms", "");
        row("memory added by the open (RSS)", o["rssopen"] - o["rssbefore"], b["rssopen"] - b["rssbefore"], "MB", "");
        row("peak memory of the process (VmHWM)", o["peak"], b["peak"], "MB", "");
    }
    std::printf("\nmemory growth from %d to %d items (RSS after open)\n", kFiles, kLinks);
    row("growth", ours[kLinks]["rssopen"] - ours[kFiles]["rssopen"], bare[kLinks]["rssopen"] - bare[kFiles]["rssopen"],
        "MB", "target < 64 MB");
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    bench::preferOffscreen();
    QApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QStringLiteral("--measure")) {
        const QStringList paths = listFolder(args[4], args[3].toInt());
        return args[2] == QStringLiteral("ours") ? measureOurs(paths) : measureBare(paths);
    }
    return report(args.size() > 1 ? args[1] : QStringLiteral("/tmp/kolvara-bench"));
}
