// Takes the README's screenshots by walking the sample workflow with the real workers:
//   KOLVARA_DOC_SHOTS=$PWD/docs/images build/bin/ui_docshots_test
// Skipped unless that variable names a folder.
#include "data/ui/paintableimageview.h"
#include "model/ui/nodecollection.h"
#include "results/ui/realtimeimageview.h"
#include "training/ui/strategysheetview.h"
#include "worker/paths.h"

#include "support/fixture.h"
#include "support/sampletiles.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {
const std::vector<TilePoint>& kRiver = sampletiles::river();
using sampletiles::click;

void shoot(QWidget* w, const QString& folder, const char* name)
{
    QTest::qWait(200);  // let thumbnails and repaints land
    ASSERT_TRUE(w->grab().save(folder + QLatin1Char('/') + QString::fromUtf8(name))) << name;
}
}  // namespace

TEST(DocShots, SampleWorkflow)
{
    const QString out = qEnvironmentVariable("KOLVARA_DOC_SHOTS");
    if (out.isEmpty())
        GTEST_SKIP() << "set KOLVARA_DOC_SHOTS to a folder to take the README's screenshots";
    QDir().mkpath(out);
    ControllerFixture f(QSize(1200, 800));
    ViewController* c = f.controller;
    QWidget* window = c->window();

    f.prompter.answerPaths({paths::resourcePath(QStringLiteral("sample_fields"), QStringLiteral("png"))});
    c->Opendata();
    c->gridcol->setText(QStringLiteral("8"));
    c->gridrow->setText(QStringLiteral("6"));
    QTest::mouseClick(c->drawgridbutton, Qt::LeftButton);
    for (const TilePoint& t : kRiver)
        click(c, t);
    shoot(window, out, "01-label-tiles.png");

    c->Openmodel();  // cancelled: the train pane appears
    QTest::mouseClick(c->newmodelbutton, Qt::LeftButton);
    c->nodecollectionView->popupconfig(1);
    shoot(window, out, "02-new-model.png");
    f.prompter.answerAlert([&out](const AlertRequest& r) {
        if (r.accessory)
            shoot(r.accessory, out, "03-generation-summary.png");
        return 0;
    });
    c->generateMLModel();

    f.prompter.answerAlert(1);  // "Continue"
    f.prompter.answerAlert([c, &out](const AlertRequest& r) {
        auto* form = r.accessory->findChild<strategysheetview*>();
        form->trainingfolder->setText(c->datadirectory);
        form->trainingeporch->setText(QStringLiteral("4"));
        form->lossfuncsel = QStringLiteral("categorical_crossentropy");
        form->lossfunction->setCurrentText(QStringLiteral("categorical_crossentropy"));
        r.accessory->resize(420, 600);
        shoot(r.accessory, out, "04-strategy.png");
        return 0;
    });
    c->strategyconfig();
    ASSERT_TRUE(QTest::qWaitFor([c] { return c->painres->state.valid_x.size() >= 3; }, 600000));
    shoot(window, out, "05-live-chart.png");
    ASSERT_TRUE(QTest::qWaitFor([&f] { return f.prompter.messages().contains(QStringLiteral("Computation finished!")); }, 600000));
    shoot(window, out, "06-metrics.png");
    c->LabelViewBtn->click();
    shoot(window, out, "07-predictions.png");
}
