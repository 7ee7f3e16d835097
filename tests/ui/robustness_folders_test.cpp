// Folders that cannot be written: the app's workspace, its caches and the export destination.
// The user is told which folder and what failed, and nothing that was there is lost.
// Root writes through permission bits, so these use a path under a regular file, or a tmpfs
// mounted nearly full (skipped, with a message, where mounting is not allowed).
#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"
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
#include <list>

namespace {

const QString kModelFile = QStringLiteral("custommodel_temp.json");

using testenv::readAll;

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
    std::list<testenv::ScopedEnv> envs;

    // Sets an environment variable for the life of the bench.
    void env(const char* name, const QString& value) { envs.emplace_back(name, value.toUtf8()); }
    // An opened image with a drawn grid and a marked tile.
    void labelledImage(QSize size, int cols, int rows)
    {
        const QString path = dir.filePath(QStringLiteral("field.png"));
        ASSERT_TRUE(noise(size).save(path));
        open({path});
        drawGrid(*c, QString::number(cols), QString::number(rows));
        c->tileGrid().toggleMark({0, 0});
        prompter.clear();
    }
    // Caches under a regular file, and an interpreter that would say so if a worker were started.
    void cachesUnderAFile()
    {
        env("XDG_CACHE_HOME", hostile::folderUnderAFile(dir.path()));
        env("KOLVARA_PYTHON", QStringLiteral("/nonexistent/python3"));
    }
    QString details() const { return prompter.alerts().value(0).informative; }
};

#define SKIP_UNLESS(condition, why) \
    if (!(condition))               \
    GTEST_SKIP() << "cannot make such a folder here: " << (why).toStdString()

// A file that cannot be written in the workspace is the data preparation test's.
TEST(UnwritableWorkspace, TheLabelFileIsRefusedNamingWhereAndTheMarksStay)
{
    Bench b;
    b.labelledImage(QSize(40, 20), 2, 1);
    b.env("XDG_DATA_HOME", hostile::folderUnderAFile(b.dir.path()));
    EXPECT_TRUE(b.c->preparedata().isEmpty());
    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot write the label file.")});
    EXPECT_EQ(b.details(), QStringLiteral("cannot create the folder ") + paths::workspaceFolder());
    EXPECT_TRUE(b.c->workspaceFolder().isEmpty());
    EXPECT_EQ(b.c->tileGrid().state().clickpoints, (std::vector<TilePoint>{{0, 0}}));
}

TEST(UnwritableWorkspace, AFullDiskNamesTheFolderAndTheTilesThatFailed)
{
    Bench b;
    b.labelledImage(QSize(480, 480), 6, 6);  // 36 tiles of noise, about 20 kB each
    b.env("XDG_DATA_HOME", b.dir.filePath(QStringLiteral("data")));
    hostile::TmpfsMount disk(paths::workspaceFolder(), QStringLiteral("size=64k"));
    SKIP_UNLESS(disk.mounted(), disk.whyNot());

    EXPECT_TRUE(b.c->preparedata().isEmpty()) << "incomplete samples are not handed on";

    ASSERT_EQ(b.prompter.messages().size(), 1);
    const QString message = b.prompter.messages()[0];
    EXPECT_TRUE(message.startsWith(QStringLiteral("Cannot save ")) && message.endsWith(QStringLiteral(" of 36 images."))) << message.toStdString();
    EXPECT_TRUE(b.details().startsWith(QStringLiteral("In ") + paths::workspaceFolder() + QStringLiteral(":\n")));
    EXPECT_TRUE(b.details().contains(QStringLiteral("writeFailed(No space left on device)"))) << b.details().toStdString();
    EXPECT_EQ(b.c->tileGrid().state().clickpoints, (std::vector<TilePoint>{{0, 0}})) << "the marks are there to try again";
}

TEST(UnwritableCaches, TrainingIsRefusedRatherThanRunOnAnEarlierModel)
{
    Bench b;
    b.labelledImage(QSize(40, 20), 2, 1);
    b.c->buildcustommodel();
    b.cachesUnderAFile();
    const QString cannotWrite = QStringLiteral("Cannot write ") + paths::cachesFile(kModelFile);
    b.c->generateMLModel();  // generation is refused the same way, before any worker runs
    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot write the model for generation.")});
    EXPECT_TRUE(b.details().startsWith(cannotWrite)) << b.details().toStdString();
    b.prompter.clear();
    b.prompter.answerAlert(1);  // Continue
    b.prompter.answerAlert(0);  // Start!
    b.c->strategyconfig();
    EXPECT_EQ(b.prompter.messages().last(), QStringLiteral("Cannot write the model for training."));
    EXPECT_TRUE(b.prompter.alerts().last().informative.startsWith(cannotWrite)) << b.prompter.alerts().last().informative.toStdString();
    EXPECT_EQ(b.c->trainingSession().state(), TrainingSession::State::Idle);
}

TEST(UnwritableCaches, AFullDiskKeepsTheEarlierModelFile)
{
    Bench b;
    b.env("XDG_CACHE_HOME", b.dir.filePath(QStringLiteral("cache")));
    hostile::TmpfsMount disk(paths::cachesFolder(), QStringLiteral("size=64k"));
    SKIP_UNLESS(disk.mounted(), disk.whyNot());
    const QString saved = paths::cachesFile(kModelFile);
    ASSERT_TRUE(badfiles::write(saved, R"({"earlier":true})"));
    b.c->buildcustommodel();
    Json big = b.c->editorDocument();
    Json& layers = big["config"]["layers"];
    for (int i = 0; i < 2000; ++i)  // far more than 64 kB
        layers.insert(layers.end() - 1, layers[1]);
    b.c->trainPane().nodecollectionView()->setDocument(big, true);
    b.env("KOLVARA_PYTHON", QStringLiteral("/nonexistent/python3"));

    b.c->generateMLModel();

    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot write the model for generation.")});
    EXPECT_TRUE(b.details().endsWith(QStringLiteral(": only part of the data was written (the disk may be full)")))
        << b.details().toStdString();
    EXPECT_EQ(readAll(saved), R"({"earlier":true})") << "not replaced by a truncated copy";
    EXPECT_EQ(testenv::entries(paths::cachesFolder()), QStringList{kModelFile}) << "no partial file is left";
}

TEST(UnwritableCaches, ModelConversionNamesTheFolder)
{
    KOLVARA_REQUIRE_TESTDATA();
    Bench b;
    b.c->architecture().setDocument({{"keep", true}}, false);
    b.env("XDG_CACHE_HOME", hostile::folderUnderAFile(b.dir.path()));
    b.prompter.answerPaths({testenv::sharedTestData(QStringLiteral("keras/sequential_cnn_cifar10_tf2.13.h5"))});

    b.c->Openmodel();

    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Cannot load the Keras model.")});
    EXPECT_TRUE(b.details().contains(paths::cachesFolder()) && !b.details().contains(QStringLiteral("Traceback")))
        << b.details().toStdString();
    EXPECT_TRUE(b.c->editorDocument().value("keep", false));
}

// A finished run in the workspace: a model of `modelBytes` bytes and a prediction file.
void finishedRun(Bench& b, qsizetype modelBytes)
{
    b.labelledImage(QSize(20, 20), 1, 1);
    ASSERT_EQ(b.c->preparedata(), paths::workspaceFolder());
    QDir ws(paths::workspaceFolder());
    testenv::emptyFolder(ws.path());
    ASSERT_TRUE(badfiles::write(ws.filePath(QStringLiteral("my_model.h5")), QByteArray(modelBytes, 'm')));
    ASSERT_TRUE(badfiles::write(ws.filePath(QStringLiteral("field_outputlabel.csv")), ",index,i,j,filename,label,prediction\n"));
    b.c->tileGrid().setPredictions({});
}

TEST(UnwritableExport, EveryEntryIsNamedWithTheDestinationAndTheWorkspaceStays)
{
    Bench b;
    finishedRun(b, 10);
    const QString dest = hostile::folderUnderAFile(b.dir.path());
    b.prompter.answerPaths({dest});
    b.c->outputresult();
    ASSERT_EQ(b.prompter.messages(), QStringList{QStringLiteral("Some results could not be exported.")});
    for (const char* name : {"my_model.h5", "field_outputlabel.csv"})
        EXPECT_TRUE(b.details().contains(QStringLiteral("%1: cannot copy ").arg(QLatin1String(name)))) << b.details().toStdString();
    EXPECT_TRUE(b.details().contains(QStringLiteral(" into ") + dest + QStringLiteral(": "))) << b.details().toStdString();
    EXPECT_EQ(readAll(paths::workspaceFolder() + QStringLiteral("/my_model.h5")), QByteArray(10, 'm'));
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
    EXPECT_EQ(testenv::entries(dest), (QStringList{"field_outputlabel.csv", "my_model.h5"}))
        << "no partial copy is left behind";
}

}  // namespace
