// From data to predictions with the real workers, for a gridded picture and a folder of images.
#include "data/ui/paintableimageview.h"
#include "results/ui/metricimageview.h"
#include "results/ui/realtimeimageview.h"
#include "training/ui/strategysheetview.h"
#include "worker/paths.h"

#include "support/fixture.h"
#include "support/sampletiles.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>

namespace {
const std::vector<TilePoint>& kRiver = sampletiles::river();
using sampletiles::click;

// Past the checklist, fill the form, Start! and wait for the completion or a failure, whose text is shown.
void runStrategy(ViewController* c, ScriptedPrompter& prompter, const std::function<void(strategysheetview&)>& setup,
                 const QString& completion)
{
    prompter.answerAlert(1);
    prompter.answerAlert([setup](const AlertRequest& request) {
        setup(*request.accessory->findChild<strategysheetview*>());
        return 0;
    });
    c->strategyconfig();
    const bool ended = QTest::qWaitFor(
        [&] {
            return std::any_of(prompter.alerts().begin(), prompter.alerts().end(),
                               [&](const AlertRequest& a) { return a.message == completion || a.style == AlertStyle::Critical; });
        },
        600000);
    ASSERT_TRUE(ended) << "the run did not end";
    ASSERT_EQ(prompter.alerts().last().message, completion) << prompter.alerts().last().informative.toStdString();
}

// A new model trained on the prepared data; shifted and rotated copies let the batch normalisation settle.
void train(ViewController* c, ScriptedPrompter& prompter, const char* epochs)
{
    c->buildcustommodel();
    ASSERT_FALSE(c->preparedata().isEmpty());
    runStrategy(c, prompter, [c, epochs](strategysheetview& form) {
        form.trainingfolder->setText(c->datadirectory);
        form.trainingeporch->setText(QString::fromUtf8(epochs));
        form.lossfuncsel = QStringLiteral("categorical_crossentropy");
        form.img_transfer = form.img_rotate = true;
    }, QStringLiteral("Computation finished!"));
}

bool has(const std::vector<TilePoint>& tiles, TilePoint t) { return std::find(tiles.begin(), tiles.end(), t) != tiles.end(); }

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
        click(c, t);
    ASSERT_EQ(c->gridmodel.clickpoints, kRiver);
    train(c, f.prompter, "4");
    if (HasFatalFailure())
        return;

    const std::vector<TilePoint> trained = c->gridmodel.predictpoints;
    int agreeing = 0;
    for (int k = 0; k < 48; ++k)
        agreeing += has(trained, {k / 8, k % 8}) == has(kRiver, {k / 8, k % 8}) ? 1 : 0;
    EXPECT_GE(agreeing, 40) << "tiles predicted as marked, of 48";
    EXPECT_EQ(c->trainingstate->text().section(QLatin1Char('\n'), 0, 0), QStringLiteral("Training state in epoch 4 "));
    EXPECT_EQ(c->painres->state.valid_x, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(c->documentView(), c->metricview);
    EXPECT_FALSE(static_cast<MetricImageView*>(c->metricview)->image().isNull());

    // Preparing the next run clears the workspace, so the trained model is kept elsewhere first.
    const QString kept = testenv::scratchFolder() + QStringLiteral("/kept_my_model.h5");
    QFile::remove(kept);
    ASSERT_TRUE(QFile::copy(c->datadirectory + QStringLiteral("/my_model.h5"), kept));
    c->gridmodel.predictpoints.clear();
    c->gridmodel.hasprediction = false;
    runStrategy(c, f.prompter, [kept](strategysheetview& form) { form.weights->setText(kept); },
                QStringLiteral("Pure Test Computation finished!"));
    EXPECT_TRUE(c->gridmodel.hasprediction);
    EXPECT_EQ(c->gridmodel.predictpoints, trained);  // the same weights predict the same tiles
}

TEST(EndToEnd, FolderOfImagesTrainedAndPredicted)
{
    // Twelve 64-point pictures: water-like stripes ("1") and grass-like noise ("0").
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
    ControllerFixture f;
    ViewController* c = f.controller;
    f.prompter.answerPaths({dir});
    c->Opendata();
    ASSERT_EQ(c->inputdatatype, 2);
    for (auto it = c->browsermodel.data.begin(); it != c->browsermodel.data.end(); ++it)
        it.value() = it.key().startsWith(QStringLiteral("water")) ? QStringLiteral("1") : QStringLiteral("0");
    train(c, f.prompter, "8");
    if (HasFatalFailure())
        return;

    int right = 0;
    for (auto it = c->browsermodel.data.begin(); it != c->browsermodel.data.end(); ++it)
        right += c->browsermodel.predictpoint.value(it.key() + QStringLiteral(".png")) == it.value() ? 1 : 0;
    EXPECT_GE(right, 9) << "of 12 pictures predicted as labelled";
    EXPECT_TRUE(QFile::exists(c->datadirectory + QStringLiteral("/NNMetrics.png")));
}
}  // namespace
