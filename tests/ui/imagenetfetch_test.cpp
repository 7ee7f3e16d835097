// ImageNet weight files: found in the Keras cache, or downloaded through a local HTTP server
// serving a file our own HDF5 writer made in the layout of Keras's weight files.
#include "app/imagenetfetch.h"
#include "app/qtworkerrunner.h"
#include "model/imagenetweights.h"
#include "support/httpserver.h"
#include "support/scriptedprompter.h"
#include "worker/paths.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QByteArray& weightsFile()
{
    static const QByteArray bytes = [] {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("w.h5"));
        QProcess python;
        python.start(paths::pythonInterpreter(), {QStringLiteral(KOLVARA_TEST_DATA_DIR "/make_weights_file.py"), out});
        python.waitForFinished(120000);
        QFile f(out);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    return bytes;
}

QByteArray md5(const QByteArray& bytes) { return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex(); }

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A fresh home and Keras home, and ResNet50's entry pointed at the local server.
struct Fetcher {
    QTemporaryDir home;
    QTemporaryDir kerasHome;
    HttpServer server{weightsFile()};
    ScriptedPrompter prompter;
    QtWorkerRunner runner;
    imagenetweights::Architecture arch = *imagenetweights::forModel(QStringLiteral("ResNet50"));
    QString cache = kerasHome.path() + QStringLiteral("/models");
    QByteArray oldHome = qgetenv("HOME");
    QByteArray oldKerasHome = qgetenv("KERAS_HOME");

    Fetcher()
    {
        qputenv("HOME", home.path().toUtf8());
        qputenv("KERAS_HOME", kerasHome.path().toUtf8());
        arch.notop.url = server.url(arch.notop.fileName).toString();
        arch.notop.md5 = md5(weightsFile());
        server.setPace(4096, 1);
    }
    ~Fetcher()
    {
        qputenv("HOME", oldHome);
        qputenv("KERAS_HOME", oldKerasHome);
    }
    imagenetfetch::Result fetch() { return imagenetfetch::fetch(prompter, runner, arch, true); }
};

TEST(Fetch, DownloadReportsProgressAndIsStoredOnlyOnceChecked)
{
    ASSERT_FALSE(weightsFile().isEmpty()) << "make_weights_file.py wrote nothing";
    Fetcher f;
    f.server.setPace(2048, 10);  // Qt reports progress at most every 100 ms: give it time to
    QStringList shown;           // the dialog's texts while bytes arrive
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(w); d && !shown.contains(d->labelText()))
                shown << d->labelText();
    });
    watch.start(5);
    const imagenetfetch::Result got = f.fetch();
    ASSERT_EQ(got.outcome, imagenetfetch::Outcome::Found) << f.prompter.messages().join(" | ").toStdString();
    EXPECT_EQ(got.path, f.cache + QLatin1Char('/') + f.arch.notop.fileName);
    EXPECT_EQ(entries(f.cache), QStringList{f.arch.notop.fileName});  // no partial file left beside it
    QFile stored(got.path);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), weightsFile());
    EXPECT_TRUE(f.prompter.messages().isEmpty());
    const QString total = QString::number(double(weightsFile().size()) / 1e6, 'f', 1) + QStringLiteral(" MB");
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [&](const QString& t) {
        return t.contains(f.arch.notop.fileName) && t.contains(QStringLiteral(" of ") + total);
    })) << shown.join(" | ").toStdString();

    // The next run finds it, in whichever cache folder it lies, without asking the server.
    const QString inHome = f.home.path() + QStringLiteral("/.keras/models");
    QDir().mkpath(inHome);
    QFile::rename(got.path, inHome + QLatin1Char('/') + f.arch.notop.fileName);
    const imagenetfetch::Result again = f.fetch();
    EXPECT_EQ(again.outcome, imagenetfetch::Outcome::Found);
    EXPECT_EQ(again.path, inHome + QLatin1Char('/') + f.arch.notop.fileName);
    EXPECT_EQ(f.server.requests(), 1);
}

TEST(Fetch, StaleCopyIsFetchedAgainAndReplaced)
{
    Fetcher f;
    QDir().mkpath(f.cache);
    QFile stale(f.cache + QLatin1Char('/') + f.arch.notop.fileName);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(weightsFile().left(1000));  // an interrupted copy
    stale.close();
    EXPECT_EQ(f.fetch().outcome, imagenetfetch::Outcome::Found);
    EXPECT_EQ(f.server.requests(), 1);
    EXPECT_EQ(imagenetweights::md5Of(stale.fileName()), f.arch.notop.md5);
}

// Every failure leaves the cache as it was, names the reason, and lets the user go on from
// random weights or not start at all.
TEST(Fetch, FailuresLeaveNothingAndOfferRandomWeights)
{
    struct Row {
        const char* what;
        std::function<void(Fetcher&)> arrange;
        const char* reason;
        int answer;
        imagenetfetch::Outcome outcome;
    };
    const std::vector<Row> rows = {
        {"hash mismatch", [](Fetcher& f) { f.arch.notop.md5 = "0123456789abcdef0123456789abcdef"; }, "does not match the published MD5 hash", 0,
         imagenetfetch::Outcome::RandomWeights},
        {"not on the server", [](Fetcher& f) { f.server.setStatus(404); }, "Not Found", 1, imagenetfetch::Outcome::Cancelled},
        {"server unreachable", [](Fetcher& f) { f.arch.notop.url = f.server.closedUrl(QStringLiteral("x.h5")).toString(); }, "refused", 0,
         imagenetfetch::Outcome::RandomWeights},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fetcher f;
        row.arrange(f);
        f.prompter.answerAlert(row.answer);
        const imagenetfetch::Result got = f.fetch();
        EXPECT_EQ(got.outcome, row.outcome);
        EXPECT_TRUE(got.path.isEmpty());
        ASSERT_EQ(f.prompter.alerts().size(), 1);
        const AlertRequest& alert = f.prompter.alerts().first();
        EXPECT_TRUE(alert.message.startsWith(QStringLiteral("ImageNet weights for ResNet50 are not in ") + f.cache +
                                             QStringLiteral(" and cannot be downloaded: ")))
            << alert.message.toStdString();
        EXPECT_TRUE(alert.message.contains(QLatin1String(row.reason), Qt::CaseInsensitive)) << alert.message.toStdString();
        EXPECT_EQ(alert.buttons, (QStringList{"Continue from Random Weights", "Cancel"}));
        EXPECT_TRUE(entries(f.cache).isEmpty()) << entries(f.cache).join(",").toStdString();
    }
}

TEST(Fetch, CancelStopsTheRunAndLeavesNothing)
{
    Fetcher f;
    f.server.setPace(1024, 20);  // slow enough to be stopped half-way
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->labelText().contains(QStringLiteral(" of ")))
                if (auto* cancel = d->findChild<QPushButton*>())
                    cancel->click();
    });
    press.start(20);
    const imagenetfetch::Result got = f.fetch();
    EXPECT_EQ(got.outcome, imagenetfetch::Outcome::Cancelled);
    EXPECT_TRUE(f.prompter.messages().isEmpty());  // the user stopped it: nothing to explain
    EXPECT_TRUE(entries(f.cache).isEmpty());
}

}  // namespace
