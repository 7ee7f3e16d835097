// ImageNet weight files: found in the Keras cache, or downloaded through a local HTTP server
// serving a file our own HDF5 writer made in the layout of Keras's weight files.
#include "app/imagenetfetch.h"
#include "app/qtworkerrunner.h"
#include "support/badfiles.h"
#include "support/httpserver.h"
#include "support/scriptedprompter.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QByteArray& weightsFile()
{
    static const QByteArray bytes = [] {
        QTemporaryDir dir;
        QProcess::execute(paths::pythonInterpreter(), {QStringLiteral(KOLVARA_TEST_DATA_DIR "/make_weights_file.py"), dir.filePath("w.h5")});
        QFile f(dir.filePath("w.h5"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    return bytes;
}

// A fresh home and Keras home, and ResNet50's entry pointed at the local server. `watch` runs on
// every progress dialog shown meanwhile.
struct Fetcher {
    QTemporaryDir home, kerasHome;
    testenv::ScopedEnv homeEnv{"HOME", home.path().toUtf8()}, kerasEnv{"KERAS_HOME", kerasHome.path().toUtf8()};
    HttpServer server{weightsFile()};
    ScriptedPrompter prompter;
    QtWorkerRunner runner;
    imagenetweights::Architecture arch = *imagenetweights::forModel(QStringLiteral("ResNet50"));
    QString cache = kerasHome.path() + QStringLiteral("/models");
    std::function<void(QProgressDialog&)> watch = [](QProgressDialog&) {};

    Fetcher()
    {
        arch.notop.url = server.url(arch.notop.fileName).toString();
        arch.notop.md5 = QCryptographicHash::hash(weightsFile(), QCryptographicHash::Md5).toHex();
        server.setPace(2048, 10);  // Qt reports progress at most every 100 ms: let it
    }
    imagenetfetch::Result fetch()
    {
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QProgressDialog*>(w))
                    watch(*dialog);
        });
        timer.start(5);
        return imagenetfetch::fetch(prompter, runner, arch, true);
    }
    QStringList left() const { return QDir(cache).entryList(QDir::Files | QDir::Hidden); }
};

// An interrupted copy in the cache is fetched again; the download shows its bytes, is kept
// only once its hash is checked, and is found in either cache folder from then on.
TEST(Fetch, DownloadShowsProgressReplacesAStaleCopyAndIsThenReused)
{
    ASSERT_FALSE(weightsFile().isEmpty()) << "make_weights_file.py wrote nothing";
    Fetcher f;
    QDir().mkpath(f.cache);
    const QString stored = f.cache + QLatin1Char('/') + f.arch.notop.fileName;
    ASSERT_TRUE(badfiles::write(stored, weightsFile().left(1000)));
    QStringList shown;
    f.watch = [&shown](QProgressDialog& d) { shown << d.labelText(); };
    const imagenetfetch::Result got = f.fetch();
    ASSERT_EQ(got.outcome, imagenetfetch::Outcome::Found) << f.prompter.messages().join(" | ").toStdString();
    EXPECT_EQ(got.path, stored);
    EXPECT_EQ(f.left(), QStringList{f.arch.notop.fileName});  // no partial file beside it
    EXPECT_TRUE(testenv::readAll(stored) == weightsFile() && f.prompter.messages().isEmpty());
    const QString total = QStringLiteral(" of %1 MB").arg(double(weightsFile().size()) / 1e6, 0, 'f', 1);
    EXPECT_TRUE(shown.filter(f.arch.notop.fileName).filter(total).size() > 0) << shown.join(" | ").toStdString();

    const QString inHome = f.home.path() + QStringLiteral("/.keras/models/") + f.arch.notop.fileName;
    QDir().mkpath(QFileInfo(inHome).path());
    QFile::rename(stored, inHome);
    EXPECT_EQ(f.fetch().path, inHome);
    EXPECT_EQ(f.server.requests(), 1);
}

// Every failure leaves the cache as it was, names the reason, and lets the user go on from
// random weights or not start; a cancelled download just stops.
TEST(Fetch, FailuresAndCancelLeaveNothing)
{
    struct Row {
        const char* what;
        std::function<void(Fetcher&)> arrange;
        const char* reason;  // nullptr: cancelled, nothing to explain
        int answer;
        imagenetfetch::Outcome outcome;
    };
    const Row rows[] = {
        {"hash mismatch", [](Fetcher& f) { f.arch.notop.md5 = "0123456789abcdef0123456789abcdef"; },
         "does not match the published MD5 hash", 0, imagenetfetch::Outcome::RandomWeights},
        {"server unreachable", [](Fetcher& f) { f.arch.notop.url = f.server.closedUrl(QStringLiteral("x.h5")).toString(); },
         "refused", 1, imagenetfetch::Outcome::Cancelled},
        {"cancelled", [](Fetcher& f) {
             f.server.setPace(1024, 20);
             f.watch = [](QProgressDialog& d) {
                 if (d.labelText().contains(QStringLiteral(" of ")))
                     d.findChild<QPushButton*>()->click();
             };
         }, nullptr, 0, imagenetfetch::Outcome::Cancelled},
    };
    ASSERT_FALSE(weightsFile().isEmpty()) << "make_weights_file.py wrote nothing";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Fetcher f;
        row.arrange(f);
        f.prompter.answerAlert(row.answer);
        const imagenetfetch::Result got = f.fetch();
        EXPECT_TRUE(got.outcome == row.outcome && got.path.isEmpty());
        EXPECT_TRUE(f.left().isEmpty()) << f.left().join(",").toStdString();
        ASSERT_EQ(f.prompter.alerts().size(), row.reason ? 1 : 0);
        if (!row.reason)
            continue;
        const AlertRequest& alert = f.prompter.alerts().first();
        EXPECT_TRUE(alert.message.startsWith(QStringLiteral("ImageNet weights for ResNet50 are not in %1 and cannot be downloaded: ").arg(f.cache)))
            << alert.message.toStdString();
        EXPECT_TRUE(alert.message.contains(QLatin1String(row.reason), Qt::CaseInsensitive)) << alert.message.toStdString();
        EXPECT_EQ(alert.buttons, (QStringList{"Continue from Random Weights", "Cancel"}));
    }
}

}  // namespace
