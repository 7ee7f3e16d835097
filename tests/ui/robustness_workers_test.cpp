// Workers that hang, crash or spew garbage, run through the modal worker runner: Cancel ends
// them, the pipes never block, and the user reads a short, readable reason.
#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"
#include "support/fixture.h"
#include "support/testenv.h"
#include "training/ui/runmonitor.h"
#include "training/ui/strategysheetview.h"
#include "worker/workerfailure.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

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
        EXPECT_EQ(workerfailure::describe(result), "Cancelled.");
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog is gone";
    }
}

TEST(WorkerRunner, CrashesFloodsAndBinaryOutputAreReportedReadably)
{
    ControllerFixture f;
    const WorkerResult crash = runFake(f, "segv");
    EXPECT_TRUE(crash.crashed && !crash.succeeded());
    EXPECT_EQ(workerfailure::describe(crash), "The worker crashed (signal 11).\nabout to crash");

    // Megabytes on both pipes never block, and only the end is shown.
    const WorkerResult flood = runFake(f, "flood");
    ASSERT_TRUE(flood.started);
    EXPECT_EQ(flood.exitCode, 1);
    EXPECT_EQ(flood.standardOutput.size(), 8000000);
    EXPECT_EQ(flood.standardError.size(), 8000000 + qsizetype(sizeof("flood: the real message")));
    EXPECT_TRUE(workerfailure::describe(flood).endsWith("\nflood: the real message"));

    const WorkerResult garbage = runFake(f, "garbage");
    EXPECT_EQ(garbage.exitCode, 3);
    EXPECT_EQ(garbage.standardOutput, QByteArray(65536, '\xFF'));
    expectShortReadable(workerfailure::describe(garbage), "ok");

    const WorkerResult missing = f.runner.run(QStringLiteral("/nonexistent/python3"), {}, QStringLiteral("Working ..."));
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(workerfailure::describe(missing).isEmpty());
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
    EXPECT_TRUE(ran) << "the call returns once the work is over";
    EXPECT_GE(ticks, 10) << "the event loop ran while the work did";
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
    const QString details = f.prompter.alerts().last().informative;
    expectShortReadable(details, "...\n");
    EXPECT_TRUE(details.endsWith(QStringLiteral("\nflood: the real message"))) << "the worker's own last words";
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

    EXPECT_FALSE(c->trainingSession().running());
    EXPECT_EQ(worker->state(), QProcess::NotRunning);
    EXPECT_EQ(c->resultPane().trainingstate()->text(), QStringLiteral("Training stopped."));
    EXPECT_TRUE(QFile::exists(c->trainingSession().monitor()->errorLogPath()));
    const QString busy = QStringLiteral("A training run is in progress. Wait for it to finish before configuring another.");
    EXPECT_EQ(f.prompter.messages(), (QStringList{busy, busy})) << "a stop the user asked for is not reported as a failure";
    f.prompter.clear();
    c->strategyconfig();
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
    EXPECT_TRUE(c->editorDocument().value("keep", false));
    EXPECT_TRUE(c->trainPane().trainstrategy()->isVisible());
}

}  // namespace
