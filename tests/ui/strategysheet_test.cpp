#include "support/fixture.h"
#include "support/scriptedprompter.h"
#include "support/testenv.h"
#include "training/ui/strategysheetview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Sheet {
    ScriptedPrompter prompter;
    strategysheetview view{prompter, QStringLiteral("/work/space")};
    Sheet() { view.show(); }
    QPushButton* button(const char* name) { return view.findChild<QPushButton*>(QString::fromUtf8(name)); }
};

}  // namespace

// The defaults reach the worker's arguments in the training-run test.
TEST(StrategySheet, EachControlChangesOnlyItsOwnField)
{
    Sheet s;
    strategysheetview& v = s.view;
    // Only a pre-trained architecture has a top to train alone (its form is the training run's).
    EXPECT_FALSE(v.trainonlytopcheck->isEnabled() || v.strategy().trainonlytop);
    const auto click = [](QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); };
    const std::pair<QCheckBox*, bool*> boxes[] = {
        {v.transfercheck, &v.img_transfer}, {v.randomcheck, &v.img_random}, {v.rotatecheck, &v.img_rotate}, {v.distortcheck, &v.img_distort}};
    for (const auto& [box, flag] : boxes) {
        click(box);
        for (const auto& [other, otherFlag] : boxes)
            EXPECT_EQ(*otherFlag, other == box) << other->text().toStdString();
        click(box);
        EXPECT_FALSE(*flag);
    }
    // The patience counts only once early stopping is clicked.
    EXPECT_FALSE(v.strategy().stopearly || v.patience->isEnabled());
    click(v.keepbestcheck);
    click(v.stopearlycheck);
    v.patience->setValue(3);
    const TrainingStrategy epochs = v.strategy();
    EXPECT_EQ(std::make_tuple(epochs.keepbestepoch, epochs.stopearly, epochs.patience, v.patience->isEnabled()),
              std::make_tuple(false, true, 3, true));
    // The slider keeps its full value while the labels show two decimals.
    v.trainvalidbar->setValue(6789);
    EXPECT_DOUBLE_EQ(v.strategy().trainratio, 0.6789);
    EXPECT_EQ(v.validprop->text(), "Valid Ratio\n 0.32");
}

struct PanelCase {
    const char* button;
    bool files;
    bool directories;
    QLineEdit* strategysheetview::*field;
};

TEST(StrategySheet, PanelsFillTheirFieldAndCancellingLeavesIt)
{
    const PanelCase cases[] = {
        {"opentrainingfolder", false, true, &strategysheetview::trainingfolder},
        {"opentraininglabelcsv", true, false, &strategysheetview::trainingdoc},
        {"openweightsfolder", true, true, &strategysheetview::weights},
    };
    for (const PanelCase& c : cases) {
        Sheet s;
        QLineEdit* field = s.view.*(c.field);
        s.prompter.answerPaths({"/data/chosen", "/data/second"});
        QTest::mouseClick(s.button(c.button), Qt::LeftButton);
        EXPECT_EQ(field->text(), "/data/chosen") << c.button;
        QTest::mouseClick(s.button(c.button), Qt::LeftButton);  // cancelled
        EXPECT_EQ(field->text(), "/data/chosen") << c.button;

        const FileRequest& r = s.prompter.fileRequests().front();
        EXPECT_TRUE(r.chooseFiles == c.files && r.chooseDirectories == c.directories && !r.multiple) << c.button;
        EXPECT_EQ(r.startDirectory, "/work/space");
    }
}

TEST(StrategySheet, InputScalingAndClassNamesReachTheStrategyAndAModelPreselectsItsScaling)
{
    Sheet s;
    strategysheetview& v = s.view;
    v.inputscaling->setCurrentIndex(v.inputscaling->findData(QStringLiteral("caffe")));
    EXPECT_EQ(v.strategy().inputscaling, "caffe");
    QTest::keyClicks(v.classnames, QStringLiteral("T-shirt,Trouser"));
    EXPECT_EQ(v.strategy().classnames, "T-shirt,Trouser");

    v.preselect(ModelInfo{QStringLiteral("tf"), false, {"b", "a"}});
    EXPECT_EQ(v.strategy().inputscaling, "tf");
    EXPECT_EQ(v.classnames->placeholderText(), "recorded: b, a");
    EXPECT_EQ(v.strategy().classnames, "T-shirt,Trouser");  // what was typed stays
    v.preselect(ModelInfo{});  // a model that records nothing changes nothing
    EXPECT_EQ(v.strategy().inputscaling, "tf");
}

TEST(StrategySheet, ChosenWeightsAreInspectedForTheScalingTheyAskFor)
{
    KOLVARA_REQUIRE_TESTDATA();
    ControllerFixture f;
    strategysheetview* form = f.controller->strategyForm();
    for (const auto& [name, expected] : {std::pair{"functional_resnet_cifar10_tf2.4.h5", "div255"},
                                         std::pair{"sequential_cnn_augmentation_layers_keras3.5.keras", "raw"}}) {
        f.prompter.answerPaths({testenv::sharedTestData(QStringLiteral("keras/") + QString::fromUtf8(name))});
        QTest::mouseClick(form->findChild<QPushButton*>("openweightsfolder"), Qt::LeftButton);
        EXPECT_EQ(form->strategy().inputscaling, expected) << name;
    }
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}
