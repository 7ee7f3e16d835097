// Workers that hang, crash or spew garbage: Cancel ends them, the pipes never block, and the user
// reads a short, readable reason. Folders that cannot be written (the workspace, the caches, the
// export destination): the user is told which folder and what failed, and nothing there is lost.
// Root writes through permission bits, so these use a path under a regular file, or a tmpfs
// mounted nearly full (skipped, with a message, where mounting is not allowed).
#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"
#include "model/ui/nodecollection.h"
#include "training/ui/runmonitor.h"
#include "training/ui/strategysheetview.h"
#include "worker/paths.h"
#include "worker/workerfailure.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "support/hostilefolders.h"
#include "support/testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <list>

namespace {

const QString kFake = QStringLiteral(KOLVARA_TEST_DATA_DIR "/fakepython/misbehaving_worker.sh");

// The fake interpreter, behaving as `mode` (see the script) when it runs a worker.
struct FakeWorker {
    testenv::ScopedEnv python{"KOLVARA_PYTHON", kFake.toUtf8()}, mode;
    explicit FakeWorker(const char* m) : mode("KOLVARA_FAKE_WORKER", m) {}
};

// Presses Cancel (or Escape) on the worker's progress dialog whenever one is up, as a user would.
struct CancelWhenShown {
    QTimer timer;
    int presses = 0;
    explicit CancelWhenShown(bool escape)
    {
        QObject::connect(&timer, &QTimer::timeout, [this, escape] {
            auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            ++presses;
            if (escape)
                return QTest::keyClick(dialog, Qt::Key_Escape);
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (button->text() == QLatin1String("Cancel"))
                    button->click();
        });
        timer.start(50);
    }
};

WorkerResult runFake(ControllerFixture& f, const char* mode)
{
    FakeWorker fake(mode);
    return f.runner.run(kFake, {QStringLiteral("worker.py")}, QStringLiteral("Working ..."));
}

// A failure's details as an alert shows them: from `start`, readable, and short.
void expectShortReadable(const QString& details, const char* start)
{
    EXPECT_TRUE(details.startsWith(QString::fromUtf8(start))) << details.toStdString();
    EXPECT_FALSE(details.contains(QRegularExpression(QStringLiteral("(?![\\n\\t])\\p{Cc}")))) << details.toStdString();  // no control bytes
    EXPECT_LE(details.size(), workerfailure::kShownChars + 50);
    EXPECT_LE(details.count(QLatin1Char('\n')), workerfailure::kShownLines);
}

TEST(WorkerRunner, CancelOrEscapeEndsAHangingWorkerEvenOneIgnoringTerminate)
{
    const std::pair<const char*, bool> cases[] = {{"hang", false}, {"stubborn", false}, {"hang", true}};  // escape?
    ControllerFixture f;
    for (const auto& [mode, escape] : cases) {
        CancelWhenShown user(escape);
        const WorkerResult result = runFake(f, mode);
        EXPECT_TRUE(escape ? user.presses == 1 : user.presses >= 1) << mode << ": the dialog is gone with the worker";
        EXPECT_TRUE(result.cancelled && !result.crashed) << mode << ": ended by the user, not a crash";
        EXPECT_TRUE(workerfailure::describe(result) == "Cancelled." && !QApplication::activeModalWidget()) << "the dialog is gone";
    }
}

TEST(WorkerRunner, CrashesFloodsAndBinaryOutputAreReportedReadably)
{
    ControllerFixture f;
    const WorkerResult crash = runFake(f, "segv");
    EXPECT_TRUE(crash.crashed && !crash.succeeded() && workerfailure::describe(crash) == "The worker crashed (signal 11).\nabout to crash");

    // Megabytes on both pipes never block, and only the end is shown.
    const WorkerResult flood = runFake(f, "flood");
    ASSERT_TRUE(flood.started && flood.exitCode == 1);
    EXPECT_TRUE(flood.standardOutput.size() == 8000000 && flood.standardError.size() == 8000000 + qsizetype(sizeof("flood: the real message")));
    EXPECT_TRUE(workerfailure::describe(flood).endsWith("\nflood: the real message"));

    const WorkerResult garbage = runFake(f, "garbage");
    EXPECT_TRUE(garbage.exitCode == 3 && garbage.standardOutput == QByteArray(65536, '\xFF'));
    expectShortReadable(workerfailure::describe(garbage), "ok");  // a worker that never starts: the training run test
}

TEST(WorkerRunner, LongWorkKeepsTheWindowAliveAndShowsItsProgress)
{
    ControllerFixture f;
    int ticks = 0;
    int shownValue = -1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ++ticks;
        if (auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget()); dialog && dialog->isVisible())
            shownValue = std::max(shownValue, dialog->value());
    });
    watch.start(20);
    bool ran = false;
    f.runner.runWork(QStringLiteral("Saving 10 tiles..."), 10, [&ran](std::atomic_int& done) {
        for (int i = 0; i < 10; ++i) {
            QThread::msleep(80);
            ++done;
        }
        ran = true;
    });
    EXPECT_TRUE(ran && ticks >= 10) << ticks << ": the call returns once the work is over, and the event loop ran while it did";
    EXPECT_GT(shownValue, 0) << "a dialog counted the finished steps";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "and went away";
}

// Each kind of failure is described in the runner test above; here one reaches the user.
TEST(Generation, FailsWithAReasonAndKeepsTheModel)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->buildcustommodel();
    const nlohmann::ordered_json edited = c->editorDocument();
    FakeWorker fake("flood");
    c->generateMLModel();
    ASSERT_EQ(f.prompter.messages(), QStringList{QStringLiteral("Generate model failed!")});
    expectShortReadable(f.prompter.alerts()[0].informative, "...\n");
    EXPECT_EQ(c->editorDocument(), edited);
    EXPECT_TRUE(c->trainPane().modelgeneratebtn()->isEnabled());
}

// Starts a followed two-epoch training run of the start network on a labelled image.
void startTraining(ControllerFixture& f)
{
    ViewController* c = f.controller;
    f.open({testenv::savePicture(testenv::scratchFolder() + "/field.png", QSize(40, 20))});
    drawGrid(*c, "2", "1");
    c->tileGrid().toggleMark({0, 0});
    c->buildcustommodel();
    f.prompter.clear();
    f.prompter.answerAlert(1);  // Continue
    f.prompter.answerAlert([c](const AlertRequest&) {
        c->strategyForm()->trainingfolder->setText(c->workspaceFolder());
        c->strategyForm()->trainingeporch->setText(QStringLiteral("2"));
        return 0;  // Start!
    });
    c->strategyconfig();
}

// A followed training run whose worker floods its output and then fails.
TEST(Training, EndsEarlyWithAShortReadableReason)
{
    ControllerFixture f;
    FakeWorker fake("flood");
    startTraining(f);
    const QString ended = QStringLiteral("Training ended before all epochs were finished.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.prompter.messages().contains(ended); }, 60000));
    expectShortReadable(f.prompter.alerts().last().informative, "...\n");
    EXPECT_TRUE(f.prompter.alerts().last().informative.endsWith("\nflood: the real message")) << "the worker's own last words";
}

TEST(Training, AHangingRunCanBeStoppedAndAnotherConfigured)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    FakeWorker fake("stubborn");
    startTraining(f);
    ASSERT_TRUE(c->trainingSession().running());
    QProcess* worker = c->trainingSession().monitor()->process();
    f.prompter.clear();
    f.prompter.answerAlert(0);  // Wait
    c->strategyconfig();
    EXPECT_TRUE(c->trainingSession().running()) << "waiting leaves the run alone";

    f.prompter.answerAlert(1);  // Stop Training
    c->strategyconfig();

    EXPECT_TRUE(!c->trainingSession().running() && worker->state() == QProcess::NotRunning);
    EXPECT_TRUE(c->resultPane().trainingstate()->text() == "Training stopped." && QFile::exists(c->trainingSession().monitor()->errorLogPath()));
    const QString busy = QStringLiteral("A training run is in progress. Wait for it to finish before configuring another.");
    EXPECT_EQ(f.prompter.messages(), (QStringList{busy, busy})) << "a stop the user asked for is not reported as a failure";
    f.prompter.clear();
    c->strategyconfig();  // the next run may be configured
    EXPECT_FALSE(f.prompter.messages().value(0).startsWith(QStringLiteral("A training run is in progress")));
}

TEST(OpenModel, AConverterThatWritesNothingIsNotALoadedModel)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->architecture().setDocument({{"keep", true}}, false);
    const QString model = testenv::scratchFolder() + QStringLiteral("/model.h5");
    QFile(model).open(QIODevice::WriteOnly);
    FakeWorker fake("silent");
    f.prompter.answerPaths({model});
    c->Openmodel();
    ASSERT_EQ(f.prompter.messages(), QStringList{QStringLiteral("Cannot load the Keras model.")});
    const QString details = f.prompter.alerts()[0].informative;
    EXPECT_TRUE(details.startsWith("The converter finished without writing ") && details.endsWith("usermodel.json.")) << details.toStdString();
    EXPECT_TRUE(c->editorDocument().value("keep", false) && c->trainPane().trainstrategy()->isVisible());
}


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
    EXPECT_TRUE(b.c->workspaceFolder().isEmpty() && (b.c->tileGrid().state().clickpoints == std::vector<TilePoint>{{0, 0}}));
}

TEST(UnwritableWorkspace, AFullDiskNamesTheFolderAndTheTilesThatFailed)
{
    Bench b;
    b.labelledImage(QSize(480, 480), 6, 6);  // 36 tiles of noise, about 20 kB each
    b.env("XDG_DATA_HOME", b.dir.filePath(QStringLiteral("data")));
    hostile::TmpfsMount disk(paths::workspaceFolder(), QStringLiteral("size=64k"));
    SKIP_UNLESS(disk.mounted(), disk.whyNot());

    EXPECT_TRUE(b.c->preparedata().isEmpty()) << "incomplete samples are not handed on";

    const QString message = b.prompter.messages().join(" | ");
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
    b.env("XDG_CACHE_HOME", hostile::folderUnderAFile(b.dir.path()));
    b.env("KOLVARA_PYTHON", QStringLiteral("/nonexistent/python3"));  // it would say so if a worker were started
    const QString cannotWrite = QStringLiteral("Cannot write ") + paths::cachesFile(kModelFile);
    b.c->generateMLModel();  // generation is refused the same way, before any worker runs
    EXPECT_TRUE(b.prompter.messages() == QStringList{"Cannot write the model for generation."} && b.details().startsWith(cannotWrite)) << b.details().toStdString();
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
    EXPECT_TRUE(b.details().endsWith(": only part of the data was written (the disk may be full)")) << b.details().toStdString();
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
    EXPECT_TRUE(b.details().contains(paths::cachesFolder()) && !b.details().contains("Traceback")) << b.details().toStdString();
    EXPECT_TRUE(b.c->editorDocument().value("keep", false));
}

// A finished run in the workspace: a model of `modelBytes` bytes and a prediction file.
void finishedRun(Bench& b, qsizetype modelBytes)
{
    b.labelledImage(QSize(20, 20), 1, 1);
    ASSERT_EQ(b.c->preparedata(), paths::workspaceFolder());
    testenv::emptyFolder(paths::workspaceFolder());
    ASSERT_TRUE(badfiles::write(paths::workspaceFolder() + "/my_model.h5", QByteArray(modelBytes, 'm')));
    ASSERT_TRUE(badfiles::write(paths::workspaceFolder() + "/field_outputlabel.csv", ",index,i,j,filename,label,prediction\n"));
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
    EXPECT_EQ(testenv::entries(dest), (QStringList{"field_outputlabel.csv", "my_model.h5"})) << "no partial copy is left behind";
}

}  // namespace
