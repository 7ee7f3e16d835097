// ImageNet weight files: found in the Keras cache, or downloaded through a local HTTP server
// serving a file our own HDF5 writer made in the layout of Keras's weight files.
#include "app/filedownload.h"
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
#include <QSignalSpy>
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

// A fresh home and Keras home per test, and ResNet50's entry pointed at the local server.
struct Fetch : ::testing::Test {
    QTemporaryDir home;
    QTemporaryDir kerasHome;
    HttpServer server{weightsFile()};
    ScriptedPrompter prompter;
    QtWorkerRunner runner;
    imagenetweights::Architecture arch = *imagenetweights::forModel(QStringLiteral("ResNet50"));
    QString cache = kerasHome.path() + QStringLiteral("/models");
    QByteArray oldHome = qgetenv("HOME");
    QByteArray oldKerasHome = qgetenv("KERAS_HOME");

    void SetUp() override
    {
        ASSERT_FALSE(weightsFile().isEmpty()) << "make_weights_file.py wrote nothing";
        qputenv("HOME", home.path().toUtf8());
        qputenv("KERAS_HOME", kerasHome.path().toUtf8());
        arch.notop.url = server.url(arch.notop.fileName).toString();
        arch.notop.md5 = md5(weightsFile());
        server.setPace(4096, 1);
    }
    void TearDown() override
    {
        qputenv("HOME", oldHome);
        qputenv("KERAS_HOME", oldKerasHome);
    }
    imagenetfetch::Result fetch() { return imagenetfetch::fetch(prompter, runner, arch, true); }
};

TEST_F(Fetch, DownloadReportsProgressAndIsStoredOnlyOnceChecked)
{
    QStringList shown;  // the dialog's texts while bytes arrive
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(w); d && !shown.contains(d->labelText()))
                shown << d->labelText();
    });
    watch.start(5);
    const imagenetfetch::Result got = fetch();
    ASSERT_EQ(got.outcome, imagenetfetch::Outcome::Found) << prompter.messages().join(" | ").toStdString();
    EXPECT_EQ(got.path, cache + QLatin1Char('/') + arch.notop.fileName);
    EXPECT_EQ(entries(cache), QStringList{arch.notop.fileName});  // no partial file left beside it
    QFile stored(got.path);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), weightsFile());
    EXPECT_TRUE(prompter.messages().isEmpty());
    const QString total = QString::number(double(weightsFile().size()) / 1e6, 'f', 1) + QStringLiteral(" MB");
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [&](const QString& t) {
        return t.contains(arch.notop.fileName) && t.contains(QStringLiteral(" of ") + total);
    })) << shown.join(" | ").toStdString();

    // The next run finds it, in whichever cache folder it lies, without asking the server.
    const QString inHome = home.path() + QStringLiteral("/.keras/models");
    QDir().mkpath(inHome);
    QFile::rename(got.path, inHome + QLatin1Char('/') + arch.notop.fileName);
    const imagenetfetch::Result again = fetch();
    EXPECT_EQ(again.outcome, imagenetfetch::Outcome::Found);
    EXPECT_EQ(again.path, inHome + QLatin1Char('/') + arch.notop.fileName);
    EXPECT_EQ(server.requests(), 1);
}

TEST_F(Fetch, StaleCopyIsFetchedAgainAndReplaced)
{
    QDir().mkpath(cache);
    QFile stale(cache + QLatin1Char('/') + arch.notop.fileName);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write(weightsFile().left(1000));  // an interrupted copy
    stale.close();
    EXPECT_EQ(fetch().outcome, imagenetfetch::Outcome::Found);
    EXPECT_EQ(server.requests(), 1);
    EXPECT_EQ(imagenetweights::md5Of(stale.fileName()), arch.notop.md5);
}

// Every failure leaves the cache as it was, names the reason, and lets the user go on from
// random weights or not start at all.
TEST(FetchFailure, LeavesNothingAndOffersRandomWeights)
{
    struct Row {
        const char* what;
        std::function<void(Fetch&)> arrange;
        const char* reason;
        int answer;
        imagenetfetch::Outcome outcome;
    };
    const std::vector<Row> rows = {
        {"hash mismatch", [](Fetch& f) { f.arch.notop.md5 = "0123456789abcdef0123456789abcdef"; }, "does not match the published MD5 hash", 0,
         imagenetfetch::Outcome::RandomWeights},
        {"not on the server", [](Fetch& f) { f.server.setStatus(404); }, "Not Found", 1, imagenetfetch::Outcome::Cancelled},
        {"server unreachable", [](Fetch& f) { f.arch.notop.url = f.server.closedUrl(QStringLiteral("x.h5")).toString(); }, "refused", 0,
         imagenetfetch::Outcome::RandomWeights},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fetch f;
        f.SetUp();
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
        f.TearDown();
    }
}

TEST_F(Fetch, CancelStopsTheRunAndLeavesNothing)
{
    server.setPace(1024, 20);  // slow enough to be stopped half-way
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<QProgressDialog*>(w); d && d->labelText().contains(QStringLiteral(" of ")))
                d->cancel();
    });
    press.start(20);
    const imagenetfetch::Result got = fetch();
    EXPECT_EQ(got.outcome, imagenetfetch::Outcome::Cancelled);
    EXPECT_TRUE(prompter.messages().isEmpty());  // the user stopped it: nothing to explain
    EXPECT_TRUE(entries(cache).isEmpty());
}

TEST(FileDownload, ProgressClimbsToTheWholeFile)
{
    HttpServer server(weightsFile());
    server.setPace(8192, 0);
    QTemporaryDir dir;
    FileDownload transfer(server.url(QStringLiteral("w.h5")), dir.filePath(QStringLiteral("part")));
    QSignalSpy progress(&transfer, &FileDownload::progress);
    QSignalSpy finished(&transfer, &FileDownload::finished);
    transfer.start();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_TRUE(transfer.result().completed) << transfer.result().error.toStdString();
    ASSERT_GT(progress.size(), 1);
    qint64 last = 0;
    for (const QList<QVariant>& p : progress) {
        EXPECT_GE(p[0].toLongLong(), last);
        last = p[0].toLongLong();
    }
    EXPECT_EQ(last, weightsFile().size());
    EXPECT_EQ(progress.last()[1].toLongLong(), weightsFile().size());
}

}  // namespace
