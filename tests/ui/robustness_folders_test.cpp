// Folders that cannot be written: the app's workspace, its caches and the export destination.
// The user is told which folder and what failed, and nothing that was there is lost.
//
// Tests run as root, and root writes through permission bits, so a folder is made unwritable by
// what stops root too: a path whose parent is a regular file, or a tmpfs mounted read-only or
// nearly full (skipped, with a message, where mounting is not allowed).
#include "model/ui/nodecollection.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "support/hostilefolders.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr QDir::Filters kAll = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

// Points an XDG folder variable elsewhere for the life of the object.
struct EnvScope {
    EnvScope(const char* name, const QString& value) : m_name(name), m_old(qgetenv(name))
    {
        qputenv(name, value.toUtf8());
    }
    ~EnvScope() { qputenv(m_name, m_old); }
    const char* m_name;
    QByteArray m_old;
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Noise compresses badly, so its tiles fill a small disk quickly.
QImage noise(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = random.generate() | 0xFF000000u;
    }
    return image;
}

struct Bench : ControllerFixture {
    QTemporaryDir dir;
    ViewController* c = controller;

    // An opened image with a drawn grid and a marked tile.
    void labelledImage(QSize size, int cols, int rows)
    {
        const QString path = dir.filePath(QStringLiteral("field.png"));
        ASSERT_TRUE(noise(size).save(path));
        prompter.answerPaths({path});
        c->Opendata();
        c->gridcol->setText(QString::number(cols));
        c->gridrow->setText(QString::number(rows));
        c->drawgrid();
        c->gridmodel.clickpoints = {{0, 0}};
        prompter.clear();
    }
    QString details() const { return prompter.alerts().value(0).informative; }
};

#define SKIP_UNLESS(condition, why)                                      \
    do {                                                                 \
        if (!(condition))                                                \
            GTEST_SKIP() << "cannot make such a folder here: " << (why).toStdString(); \
    } while (0)

// ---- The workspace ------------------------------------------------------------------------------

TEST(UnwritableWorkspace, UnderAFileTheLabelFileIsRefusedAndTheMarksStay)
{
    Bench b;
    b.labelledImage(QSize(40, 20), 2, 1);
    const QString data = hostile::folderUnderAFile(b.dir.path());
    EnvScope scope("XDG_DATA_HOME", data);
    const QString ws = paths::workspaceFolder();
    ASSERT_TRUE(ws.startsWith(data));

    EXPECT_TRUE(b.c->preparedata().isEmpty());

    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot write the label file.")});
    EXPECT_EQ(b.details(), QStringLiteral("cannot create the folder ") + ws);
    EXPECT_TRUE(b.c->datadirectory.isEmpty());
    EXPECT_EQ(b.c->gridmodel.clickpoints, (std::vector<TilePoint>{{0, 0}}));
}

TEST(UnwritableWorkspace, ReadOnlyTheLabelFileIsRefusedNamingIt)
{
    Bench b;
    b.labelledImage(QSize(40, 20), 2, 1);
    EnvScope scope("XDG_DATA_HOME", b.dir.filePath(QStringLiteral("data")));
    hostile::ReadOnlyFolder ws(paths::workspaceFolder());
    SKIP_UNLESS(ws.available(), ws.whyNot());

    EXPECT_TRUE(b.c->preparedata().isEmpty());

    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot write the label file.")});
    EXPECT_TRUE(b.details().startsWith(QStringLiteral("cannot write ") + ws.path() + QStringLiteral("/field_outputlabel.csv: ")))
        << b.details().toStdString();
}

TEST(UnwritableWorkspace, AFullDiskNamesTheFolderAndTheTilesThatFailed)
{
    Bench b;
    b.labelledImage(QSize(480, 480), 6, 6);  // 36 tiles of noise, about 20 kB each
    EnvScope scope("XDG_DATA_HOME", b.dir.filePath(QStringLiteral("data")));
    hostile::TmpfsMount disk(paths::workspaceFolder(), QStringLiteral("size=64k"));
    SKIP_UNLESS(disk.mounted(), disk.whyNot());

    EXPECT_TRUE(b.c->preparedata().isEmpty()) << "incomplete samples are not handed on";

    ASSERT_EQ(b.prompter.messages().size(), 1);
    EXPECT_TRUE(b.prompter.messages()[0].startsWith(QStringLiteral("Cannot save "))) << b.prompter.messages()[0].toStdString();
    EXPECT_TRUE(b.prompter.messages()[0].endsWith(QStringLiteral(" of 36 images.")));
    EXPECT_TRUE(b.details().startsWith(QStringLiteral("In ") + paths::workspaceFolder() + QStringLiteral(":\n")));
    EXPECT_TRUE(b.details().contains(QStringLiteral("writeFailed(No space left on device)"))) << b.details().toStdString();
    EXPECT_EQ(b.c->gridmodel.clickpoints, (std::vector<TilePoint>{{0, 0}})) << "the marks are there to try again";
}

// ---- The caches -----------------------------------------------------------------------------------

TEST(UnwritableCaches, GenerationIsRefusedBeforeAnyWorkerRuns)
{
    Bench b;
    b.c->buildcustommodel();
    EnvScope scope("XDG_CACHE_HOME", hostile::folderUnderAFile(b.dir.path()));
    qputenv("KOLVARA_PYTHON", "/nonexistent/python3");  // would say so if a worker were started

    b.c->generateMLModel();

    qunsetenv("KOLVARA_PYTHON");
    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot write the model for generation.")});
    EXPECT_TRUE(b.details().startsWith(QStringLiteral("Cannot write ") + paths::cachesFile(QStringLiteral("custommodel_temp.json"))))
        << b.details().toStdString();
}

TEST(UnwritableCaches, TrainingIsRefusedRatherThanRunOnAnEarlierModel)
{
    Bench b;
    b.labelledImage(QSize(40, 20), 2, 1);
    b.c->buildcustommodel();
    EnvScope scope("XDG_CACHE_HOME", hostile::folderUnderAFile(b.dir.path()));
    qputenv("KOLVARA_PYTHON", "/nonexistent/python3");  // would say so if a worker were started
    b.prompter.answerAlert(1);  // Continue
    b.prompter.answerAlert(0);  // Start!

    b.c->strategyconfig();

    qunsetenv("KOLVARA_PYTHON");
    EXPECT_EQ(b.prompter.messages().last(), QStringLiteral("Cannot write the model for training."));
    EXPECT_TRUE(b.prompter.alerts().last().informative.startsWith(QStringLiteral("Cannot write ")
                                                                 + paths::cachesFile(QStringLiteral("custommodel_temp.json"))))
        << b.prompter.alerts().last().informative.toStdString();
    EXPECT_FALSE(b.c->runmonitor);
}

TEST(UnwritableCaches, AFullDiskKeepsTheEarlierModelFile)
{
    Bench b;
    EnvScope scope("XDG_CACHE_HOME", b.dir.filePath(QStringLiteral("cache")));
    hostile::TmpfsMount disk(paths::cachesFolder(), QStringLiteral("size=64k"));
    SKIP_UNLESS(disk.mounted(), disk.whyNot());
    const QString saved = paths::cachesFile(QStringLiteral("custommodel_temp.json"));
    ASSERT_TRUE(badfiles::write(saved, R"({"earlier":true})"));
    b.c->buildcustommodel();
    Json big = b.c->editorDocument();
    for (int i = 0; i < 2000; ++i)  // far more than 64 kB
        big["config"]["layers"].insert(big["config"]["layers"].end() - 1, big["config"]["layers"][1]);
    b.c->nodecollectionView->setDocument(big, true);
    qputenv("KOLVARA_PYTHON", "/nonexistent/python3");

    b.c->generateMLModel();

    qunsetenv("KOLVARA_PYTHON");
    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot write the model for generation.")});
    EXPECT_TRUE(b.details().endsWith(QStringLiteral(": only part of the data was written (the disk may be full)")))
        << b.details().toStdString();
    EXPECT_EQ(readAll(saved), R"({"earlier":true})") << "not replaced by a truncated copy";
    EXPECT_EQ(QDir(paths::cachesFolder()).entryList(kAll), QStringList{"custommodel_temp.json"})
        << "no partial file is left";
}

TEST(UnwritableCaches, ModelConversionNamesTheFolder)
{
    KOLVARA_REQUIRE_TESTDATA();
    Bench b;
    b.c->modeljson = {{"keep", true}};
    EnvScope scope("XDG_CACHE_HOME", hostile::folderUnderAFile(b.dir.path()));
    b.prompter.answerPaths({testenv::sharedTestData(QStringLiteral("keras/sequential_cnn_cifar10_tf2.13.h5"))});

    b.c->Openmodel();

    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot load the Keras model.")});
    EXPECT_TRUE(b.details().contains(paths::cachesFolder())) << b.details().toStdString();
    EXPECT_FALSE(b.details().contains(QStringLiteral("Traceback")));
    EXPECT_EQ(b.c->modeljson["keep"], true);
}

// ---- The export destination --------------------------------------------------------------------

// A finished run in the workspace: a model of `modelBytes` bytes and a prediction file.
void finishedRun(Bench& b, qsizetype modelBytes)
{
    QDir ws(paths::workspaceFolder());
    for (const QFileInfo& e : ws.entryInfoList(kAll))
        e.isDir() ? QDir(e.filePath()).removeRecursively() : QFile::remove(e.filePath());
    ASSERT_TRUE(badfiles::write(ws.filePath(QStringLiteral("my_model.h5")), QByteArray(modelBytes, 'm')));
    ASSERT_TRUE(badfiles::write(ws.filePath(QStringLiteral("field_outputlabel.csv")), ",index,i,j,filename,label,prediction\n"));
    b.c->datadirectory = ws.path();
    b.c->gridmodel.hasprediction = true;
}

TEST(UnwritableExport, EveryEntryIsNamedWithTheDestinationAndTheWorkspaceStays)
{
    Bench b;
    finishedRun(b, 10);
    const QString underFile = hostile::folderUnderAFile(b.dir.path());
    hostile::ReadOnlyFolder readOnly(b.dir.filePath(QStringLiteral("readonly")));
    for (const QString& dest : {underFile, readOnly.available() ? readOnly.path() : QString()}) {
        if (dest.isEmpty())
            continue;
        b.prompter.clear();
        b.prompter.answerPaths({dest});
        b.c->outputresult();
        ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Some results could not be exported.")}) << dest.toStdString();
        for (const char* name : {"my_model.h5", "field_outputlabel.csv"})
            EXPECT_TRUE(b.details().contains(QStringLiteral("%1: cannot copy ").arg(QLatin1String(name)))) << b.details().toStdString();
        EXPECT_TRUE(b.details().contains(QStringLiteral(" into ") + dest + QStringLiteral(": "))) << b.details().toStdString();
        EXPECT_EQ(readAll(paths::workspaceFolder() + QStringLiteral("/my_model.h5")), QByteArray(10, 'm'));
    }
    if (!readOnly.available())
        GTEST_SKIP() << "the read-only case needs " << readOnly.whyNot().toStdString();
}

TEST(UnwritableExport, AFullDiskKeepsTheEarlierExport)
{
    Bench b;
    finishedRun(b, 200 * 1024);
    const QString dest = b.dir.filePath(QStringLiteral("usb"));
    hostile::TmpfsMount disk(dest, QStringLiteral("size=64k"));
    SKIP_UNLESS(disk.mounted(), disk.whyNot());
    ASSERT_TRUE(badfiles::write(dest + QStringLiteral("/my_model.h5"), "the model exported last week"));
    b.prompter.answerPaths({dest});

    b.c->outputresult();

    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Some results could not be exported.")});
    EXPECT_TRUE(b.details().startsWith(QStringLiteral("my_model.h5: cannot copy "))) << b.details().toStdString();
    EXPECT_EQ(readAll(dest + QStringLiteral("/my_model.h5")), "the model exported last week");
    EXPECT_TRUE(readAll(dest + QStringLiteral("/field_outputlabel.csv")).startsWith(",index")) << "what fits is copied";
    EXPECT_EQ(QDir(dest).entryList(kAll, QDir::Name), (QStringList{"field_outputlabel.csv", "my_model.h5"}))
        << "no partial copy is left behind";
}

}  // namespace
