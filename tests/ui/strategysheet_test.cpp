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

QStringList items(const QComboBox* box)
{
    QStringList out;
    for (int k = 0; k < box->count(); ++k)
        out << box->itemText(k);
    return out;
}

}  // namespace

// The defaults reach the worker's arguments in the training-run test.
TEST(StrategySheet, AFreshFormShowsItsChoicesAndOnlyTheNumbersAreTyped)
{
    Sheet s;
    strategysheetview& v = s.view;
    EXPECT_EQ(v.validprop->text(), "Valid Ratio\n 0.40");
    EXPECT_EQ(items(v.optimizer), (QStringList{"SGD", "RMSprop", "Adam", "Adadelta", "Adagrad", "Adamax", "Nadam", "Ftrl"}));
    EXPECT_EQ(items(v.lossfunction).size(), 12);
    EXPECT_FALSE(v.optimizer->isEditable() || v.lossfunction->isEditable());
    for (QLineEdit* path : {v.imagefolder, v.trainingfolder, v.trainingdoc, v.weights})
        EXPECT_TRUE(path->isReadOnly());
    EXPECT_FALSE(v.batchsize->isReadOnly() || v.trainingeporch->isReadOnly());
    EXPECT_EQ(v.transfercheck->text(), "Image Transfer (up,down,left,right)");
    EXPECT_EQ(v.distortcheck->text(), "Image distorte x 4");
    // Only a pre-trained architecture has a top to train alone (its form is the training run's).
    EXPECT_FALSE(v.trainonlytopcheck->isEnabled() || v.strategy().trainonlytop);

    // Each check box and combo changes only its own field.
    const std::pair<QCheckBox*, bool*> boxes[] = {
        {v.transfercheck, &v.img_transfer}, {v.randomcheck, &v.img_random}, {v.rotatecheck, &v.img_rotate}, {v.distortcheck, &v.img_distort}};
    for (const auto& [box, flag] : boxes) {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        for (const auto& [other, otherFlag] : boxes)
            EXPECT_EQ(*otherFlag, other == box) << other->text().toStdString();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        EXPECT_FALSE(*flag);
    }
    // The best epoch is kept and no run stops early until clicked; the patience counts only then.
    EXPECT_TRUE(v.keepbestcheck->isChecked() && v.strategy().keepbestepoch);
    EXPECT_FALSE(v.stopearlycheck->isChecked() || v.strategy().stopearly || v.patience->isEnabled());
    for (QCheckBox* box : {v.keepbestcheck, v.stopearlycheck})
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    v.patience->setValue(3);
    const TrainingStrategy epochs = v.strategy();
    EXPECT_EQ(std::make_tuple(epochs.keepbestepoch, epochs.stopearly, epochs.patience, v.patience->isEnabled()),
              std::make_tuple(false, true, 3, true));
    EXPECT_FALSE(epochs.img_transfer || epochs.img_random || epochs.img_rotate || epochs.img_distort);

    v.optimizer->setCurrentIndex(0);
    EXPECT_EQ(v.lossfuncsel, "mean_squared_error");
    v.lossfunction->setCurrentIndex(11);
    EXPECT_EQ(v.strategy().lossfuncsel, "log_cosh");
    EXPECT_EQ(v.strategy().optimizesel, "SGD");
}

struct SliderCase {
    int position;
    double stored;
    const char* train;
    const char* valid;
};

TEST(StrategySheet, SliderShowsTwoDecimalsAndKeepsItsFullValue)
{
    const SliderCase cases[] = {
        {6789, 0.6789, "Train Ratio\n 0.68", "Valid Ratio\n 0.32"},
        {0, 0.0, "Train Ratio\n 0.00", "Valid Ratio\n 1.00"},
    };
    for (const SliderCase& c : cases) {
        Sheet s;
        s.view.trainvalidbar->setValue(c.position);
        EXPECT_DOUBLE_EQ(s.view.strategy().trainratio, c.stored);
        EXPECT_EQ(s.view.trainprop->text(), c.train);
        EXPECT_EQ(s.view.validprop->text(), c.valid);
    }
    Sheet keys;
    keys.view.trainvalidbar->setFocus();
    QTest::keyClick(keys.view.trainvalidbar, Qt::Key_Right);
    EXPECT_DOUBLE_EQ(keys.view.trainratio, 0.61);
    EXPECT_EQ(keys.view.validprop->text(), "Valid Ratio\n 0.39");
}

struct PanelCase {
    const char* button;
    const char* title;
    bool files;
    bool directories;
    QLineEdit* strategysheetview::*field;
};

TEST(StrategySheet, PanelsFillTheirFieldAndCancellingLeavesIt)
{
    const PanelCase cases[] = {
        {"opentrainingfolder", "Choose training data folder", false, true, &strategysheetview::trainingfolder},
        {"opentraininglabelcsv", "Choose training label document", true, false, &strategysheetview::trainingdoc},
        {"openweightsfolder", "Choose training data folder", true, true, &strategysheetview::weights},
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
        EXPECT_EQ(r.title, c.title);
        EXPECT_TRUE(r.chooseFiles == c.files && r.chooseDirectories == c.directories && !r.multiple) << c.button;
        EXPECT_EQ(r.startDirectory, "/work/space");
    }
}

TEST(StrategySheet, InputScalingAndClassNamesReachTheStrategyAndAModelPreselectsItsScaling)
{
    Sheet s;
    strategysheetview& v = s.view;
    EXPECT_EQ(v.strategy().inputscaling, "div255");
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
    strategysheetview* form = f.controller->strategysheetconfig;
    for (const auto& [name, expected] : {std::pair{"functional_resnet_cifar10_tf2.4.h5", "div255"},
                                         std::pair{"sequential_cnn_augmentation_layers_keras3.5.keras", "raw"}}) {
        f.prompter.answerPaths({testenv::sharedTestData(QStringLiteral("keras/") + QString::fromUtf8(name))});
        QTest::mouseClick(form->findChild<QPushButton*>("openweightsfolder"), Qt::LeftButton);
        EXPECT_EQ(form->strategy().inputscaling, expected) << name;
    }
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}
