#include "support/fixture.h"
#include "support/testenv.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(OpenModel, CancelShowsTheTrainPaneAndKeepsTheModel)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->modeljson = {{"keep", true}};
    c->Openmodel();  // the picker is cancelled
    EXPECT_TRUE(c->TrainViewBtn->isEnabled());
    EXPECT_TRUE(c->pretrainmode->isVisible());
    EXPECT_TRUE(c->custommode->isVisible());
    EXPECT_TRUE(c->trainstrategy->isVisible());
    EXPECT_EQ(c->modeljson["keep"], true);
    ASSERT_EQ(f.prompter.fileRequests().size(), 1);
    EXPECT_EQ(f.prompter.fileRequests().first().title, "Choose a Neural Network Model");
}

TEST(OpenModel, WrongExtensionIsRefusedBeforeThePaneIsEmptied)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->Openmodel();  // cancelled: the panels are there
    const QString weights = testenv::scratchFolder() + "/weights.pdf";
    QFile(weights).open(QIODevice::WriteOnly);
    f.prompter.answerPaths({weights});
    c->Openmodel();
    EXPECT_EQ(f.prompter.messages(), QStringList{"Please select model with extention of keras,h5,or tensorflow model folder"});
    EXPECT_TRUE(c->pretrainmode->isVisible());
    EXPECT_TRUE(c->modeljson.is_null());
}

TEST(OpenModel, FailedConversionKeepsTheModelAndShowsTheWorkersMessage)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    c->modeljson = {{"keep", true}};
    c->modelname = "VGG16";
    const QString corrupt = testenv::scratchFolder() + "/corrupt.h5";
    {
        QFile file(corrupt);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("this is not an HDF5 file");
    }
    f.prompter.answerPaths({corrupt});
    c->Openmodel();
    ASSERT_EQ(f.prompter.alerts().size(), 1);
    EXPECT_EQ(f.prompter.alerts().first().message, "Cannot load the Keras model.");
    EXPECT_FALSE(f.prompter.alerts().first().informative.isEmpty());
    EXPECT_EQ(c->modeljson["keep"], true);
    EXPECT_EQ(c->modelname, "VGG16");
    EXPECT_TRUE(c->trainstrategy->isVisible());
}
