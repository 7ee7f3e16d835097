// Saves the screens of a run for a person to look at: the live chart in the middle of a run,
// the metrics image at the end and the grid with its predictions. Runs only when asked:
//   KOLVARA_SCREENSHOTS=/some/folder ./ui_runscreens_test
#include "results/ui/realtimeimageview.h"
#include "training/ui/runmonitor.h"
#include "training/ui/strategysheetview.h"
#include "worker/paths.h"

#include "support/fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {
struct ScopedEnv {
    QByteArray name;
    ScopedEnv(const char* n, const QByteArray& value) : name(n) { qputenv(n, value); }
    ~ScopedEnv() { qunsetenv(name.constData()); }
};

TEST(RunScreens, LiveChartMetricsAndPredictedGrid)
{
    const QString out = qEnvironmentVariable("KOLVARA_SCREENSHOTS");
    if (out.isEmpty())
        GTEST_SKIP() << "set KOLVARA_SCREENSHOTS to a folder to save the screens of a run";
    QDir().mkpath(out);
    ControllerFixture f(QSize(1200, 800));
    ViewController* c = f.controller;
    const QString image = paths::resourcePath(QStringLiteral("sample_fields"), QStringLiteral("png"));
    c->urlarray = {image};
    c->openSingleImageurl(image);
    c->gridcol->setText(QStringLiteral("8"));
    c->gridrow->setText(QStringLiteral("6"));
    c->drawgrid();
    // The river's tiles, row 0 at the bottom.
    c->gridmodel.clickpoints = {{0, 0}, {0, 1}, {1, 1}, {1, 2}, {2, 3}, {2, 4}, {3, 4}, {3, 5}, {4, 6}, {5, 7}};
    c->modelname = QStringLiteral("ResNet50");
    c->resourcename = QStringLiteral("resnet50");
    c->modeljson = nlohmann::ordered_json::parse(R"({"class_name":"Functional","config":{"layers":[]}})");
    c->trainNNScript = QStringLiteral(KOLVARA_TEST_DATA_DIR "/fake_trainNN.py");
    ScopedEnv pace("FAKE_TRAINNN_STEP_SECONDS", "0.1");
    ScopedEnv flip("FAKE_TRAINNN_FLIP_EVERY", "7");  // some tiles predicted against their marks
    f.prompter.answerAlert(1);
    f.prompter.answerAlert([c](const AlertRequest& r) {
        auto* form = r.accessory->findChild<strategysheetview*>();
        form->trainingfolder->setText(c->datadirectory);
        form->trainingeporch->setText(QStringLiteral("6"));
        return 0;
    });
    c->strategyconfig();
    ASSERT_TRUE(c->runmonitor) << f.prompter.messages().join(QStringLiteral(" | ")).toStdString();
    bool grabbed = false;
    QObject::connect(c->runmonitor, &RunMonitor::stateChanged, c, [&] {
        if (!grabbed && c->painres->state.valid_x.size() == 4 && c->trainingstate->text().contains(QStringLiteral("ETA"))) {
            grabbed = f.window->grab().save(out + QStringLiteral("/chart_midrun.png"));
        }
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.prompter.messages().contains(QStringLiteral("Computation finished!")); }, 60000));
    EXPECT_TRUE(grabbed);
    f.window->grab().save(out + QStringLiteral("/metrics.png"));
    c->ResultViewBtn->click();
    c->LabelViewBtn->click();
    QTest::qWait(50);  // let the work area lay out before the picture is taken
    f.window->grab().save(out + QStringLiteral("/grid_predictions.png"));
}
}  // namespace
