// From data to predictions with the real workers: open a picture, draw a grid, mark tiles,
// start a new model, configure and start training, wait, and look at the predictions; then a
// pure test with the trained model. The same for a folder of images.
#include "data/tilegeometry.h"
#include "data/ui/paintableimageview.h"
#include "results/ui/metricimageview.h"
#include "results/ui/realtimeimageview.h"
#include "training/ui/runmonitor.h"
#include "training/ui/strategysheetview.h"
#include "worker/paths.h"

#include "support/fixture.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <set>

namespace {
// The river of the sample picture, 8 by 6 tiles of 80 points, row 0 at the bottom.
const std::vector<TilePoint> kRiver = {{0, 0}, {0, 1}, {1, 1}, {1, 2}, {2, 3}, {2, 4}, {3, 4}, {3, 5}, {4, 6}, {5, 7}};
constexpr int kTimeoutMs = 600000;

bool holdsDocument(const nlohmann::ordered_json& d) { return !d.is_null() && !(d.is_object() && d.empty()); }

// Skips the test until the pieces it drives are there.
#define REQUIRE_MODEL_AND_PREPARATION(c)                                                            \
    do {                                                                                            \
        (c)->buildcustommodel();                                                                    \
        if (!holdsDocument((c)->editorDocument()))                                                  \
            GTEST_SKIP() << "the layer editor is not merged yet";                                   \
        if ((c)->preparedata().isEmpty() || !QFileInfo((c)->datadirectory).isDir())                  \
            GTEST_SKIP() << "training data preparation is not merged yet";                          \
    } while (0)

void clickTile(ViewController* c, TilePoint tile)
{
    const QSizeF fit = c->gridmodel.viewsize.value_or(QSizeF(c->testview->size()));
    const tilegeometry::TileGridPicture picture = tilegeometry::composeTileGrid(c->gridmodel, fit);
    const QRectF r = tilegeometry::toTopLeft(tilegeometry::tileRect(tile, picture.tile), c->testview->height());
    QTest::mouseClick(c->testview, Qt::LeftButton, {}, r.center().toPoint());
}

// With KOLVARA_SCREENSHOTS set, keeps a picture of the window for a person to look at.
void saveScreen(QWidget* window, const char* name)
{
    const QString folder = qEnvironmentVariable("KOLVARA_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    window->grab().save(folder + QLatin1Char('/') + QString::fromUtf8(name));
}

using FormSetup = std::function<void(strategysheetview&)>;

void scriptStrategy(ScriptedPrompter& prompter, FormSetup setup)
{
    prompter.answerAlert(1);
    prompter.answerAlert([setup](const AlertRequest& request) {
        setup(*request.accessory->findChild<strategysheetview*>());
        return 0;
    });
}

// Waits for the run's last alert: the completion, or a failure whose text is shown.
void waitForCompletion(ScriptedPrompter& prompter, const QString& completion)
{
    const bool ended = QTest::qWaitFor(
        [&] {
            return std::any_of(prompter.alerts().begin(), prompter.alerts().end(), [&](const AlertRequest& a) {
                return a.message == completion || a.style == AlertStyle::Critical;
            });
        },
        kTimeoutMs);
    ASSERT_TRUE(ended) << "the run did not end";
    const AlertRequest& last = prompter.alerts().last();
    ASSERT_EQ(last.message, completion) << last.informative.toStdString();
}

int agreement(const std::vector<TilePoint>& predicted, const std::vector<TilePoint>& marked, int rows, int cols)
{
    int same = 0;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j) {
            const TilePoint t{i, j};
            const bool p = std::find(predicted.begin(), predicted.end(), t) != predicted.end();
            const bool m = std::find(marked.begin(), marked.end(), t) != marked.end();
            same += p == m ? 1 : 0;
        }
    return same;
}

TEST(EndToEnd, SingleImageTrainedThenTestedWithItsModel)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    f.prompter.answerPaths({paths::resourcePath(QStringLiteral("sample_fields"), QStringLiteral("png"))});
    c->Opendata();
    ASSERT_EQ(c->inputdatatype, 1);
    c->gridcol->setText(QStringLiteral("8"));
    c->gridrow->setText(QStringLiteral("6"));
    c->drawgrid();
    for (const TilePoint& t : kRiver)
        clickTile(c, t);
    ASSERT_EQ(c->gridmodel.clickpoints, kRiver);
    REQUIRE_MODEL_AND_PREPARATION(c);

    scriptStrategy(f.prompter, [c](strategysheetview& form) {
        form.trainingfolder->setText(c->datadirectory);
        form.trainingeporch->setText(QStringLiteral("4"));
        form.lossfuncsel = QStringLiteral("categorical_crossentropy");
        // Shifted and rotated copies give the batch normalisation enough steps to settle.
        form.img_transfer = true;
        form.img_rotate = true;
    });
    c->strategyconfig();
    ASSERT_TRUE(c->runmonitor);
    bool saved = false;  // one picture, in the middle of the run
    QObject::connect(c->runmonitor, &RunMonitor::stateChanged, c, [&f, &saved, c] {
        if (!saved && c->painres->state.valid_x.size() == 3 && c->trainingstate->text().contains(QStringLiteral("ETA"))) {
            saved = true;
            saveScreen(f.window.get(), "e2e_chart_midrun.png");
        }
    });
    waitForCompletion(f.prompter, QStringLiteral("Computation finished!"));
    saveScreen(f.window.get(), "e2e_metrics.png");

    EXPECT_TRUE(c->gridmodel.hasprediction);
    const std::vector<TilePoint> trained = c->gridmodel.predictpoints;
    EXPECT_GE(agreement(trained, kRiver, 6, 8), 40) << "tiles predicted as marked, of 48";
    EXPECT_EQ(c->trainingstate->text().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Training state in epoch 4 "));
    EXPECT_EQ(c->painres->state.valid_x, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(c->documentView(), c->metricview);
    EXPECT_FALSE(static_cast<MetricImageView*>(c->metricview)->image().isNull());
    EXPECT_TRUE(QFile::exists(c->datadirectory + QStringLiteral("/sample_fields_error.log")));
    c->ResultViewBtn->click();
    c->LabelViewBtn->click();
    saveScreen(f.window.get(), "e2e_grid_predictions.png");

    // Preparing the next run clears the workspace, so the trained model is kept elsewhere first.
    const QString kept = testenv::scratchFolder() + QStringLiteral("/kept_my_model.h5");
    QFile::remove(kept);
    ASSERT_TRUE(QFile::copy(c->datadirectory + QStringLiteral("/my_model.h5"), kept));
    c->gridmodel.predictpoints.clear();
    c->gridmodel.hasprediction = false;
    scriptStrategy(f.prompter, [kept](strategysheetview& form) { form.weights->setText(kept); });
    c->strategyconfig();
    waitForCompletion(f.prompter, QStringLiteral("Pure Test Computation finished!"));
    EXPECT_TRUE(c->gridmodel.hasprediction);
    EXPECT_EQ(c->gridmodel.predictpoints, trained);  // the same weights predict the same tiles
}

// Twelve 64-point pictures: water-like stripes ("1") and grass-like noise ("0").
QString pictureFolder()
{
    const QString dir = testenv::scratchFolder() + QStringLiteral("/pictures");
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    for (int k = 0; k < 12; ++k) {
        QImage image(64, 64, QImage::Format_RGB32);
        const bool water = k % 2 == 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                const int n = (x * 7 + y * 13 + k * 5) % 23;
                image.setPixelColor(x, y, water ? QColor(30 + n, 80 + 40 * ((y / 4) % 2), 200) : QColor(40 + n, 140 + 2 * n, 30));
            }
        image.save(dir + QStringLiteral("/%1%2.png").arg(water ? QStringLiteral("water") : QStringLiteral("grass")).arg(k));
    }
    return dir;
}

TEST(EndToEnd, FolderOfImagesTrainedAndPredicted)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    f.prompter.answerPaths({pictureFolder()});
    c->Opendata();
    if (c->inputdatatype != 2)
        GTEST_SKIP() << "the thumbnail browser is not merged yet";
    for (auto it = c->browsermodel.data.begin(); it != c->browsermodel.data.end(); ++it)
        it.value() = it.key().startsWith(QStringLiteral("water")) ? QStringLiteral("1") : QStringLiteral("0");
    REQUIRE_MODEL_AND_PREPARATION(c);

    scriptStrategy(f.prompter, [c](strategysheetview& form) {
        form.trainingfolder->setText(c->datadirectory);
        form.trainingeporch->setText(QStringLiteral("8"));
        form.lossfuncsel = QStringLiteral("categorical_crossentropy");
        form.img_transfer = true;
        form.img_rotate = true;
    });
    c->strategyconfig();
    waitForCompletion(f.prompter, QStringLiteral("Computation finished!"));

    EXPECT_TRUE(c->browsermodel.haspredict);
    int right = 0;
    for (auto it = c->browsermodel.data.begin(); it != c->browsermodel.data.end(); ++it)
        right += c->browsermodel.predictpoint.value(it.key() + QStringLiteral(".png")) == it.value() ? 1 : 0;
    EXPECT_GE(right, 9) << "of 12 pictures predicted as labelled";
    EXPECT_TRUE(QFile::exists(c->datadirectory + QStringLiteral("/NNMetrics.png")));
    EXPECT_EQ(c->documentView(), c->metricview);
}
}  // namespace
