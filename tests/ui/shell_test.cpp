#include "support/fixture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <gtest/gtest.h>

namespace {
QStringList texts(const QWidget* root)
{
    QStringList out;
    for (const QLabel* l : root->findChildren<QLabel*>())
        out << l->text();
    for (const QPushButton* b : root->findChildren<QPushButton*>())
        out << b->text();
    return out;
}

QStringList items(const QComboBox* box)
{
    QStringList out;
    for (int i = 0; i < box->count(); ++i)
        out << box->itemText(i);
    return out;
}
}  // namespace

TEST(Shell, StartsWithDisabledPaneButtonsAndEveryControl)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    EXPECT_FALSE(c->LabelViewBtn->isEnabled() || c->TrainViewBtn->isEnabled() || c->ResultViewBtn->isEnabled());
    EXPECT_EQ(QStringList({c->gridcol->text(), c->gridrow->text(), c->imagelabelval->text()}), QStringList({"10", "10", "0"}));
    EXPECT_EQ(c->inputdatatype, 0);
    const QStringList label = texts(c->labelView);
    for (const char* t : {"Col", "Row", "Label", "Draw Grid!", "Tile size: ", "Reverse!", "Selected image label:", "Label Images!"})
        EXPECT_TRUE(label.contains(QString::fromUtf8(t))) << t;
    const QStringList train = texts(c->trainView);
    for (const char* t : {"Pre-trained model", "Customize model", "New Model", "Add node class:", "Gnerate ML Model",
                          "Training Strategy", "Strategy Config"})
        EXPECT_TRUE(train.contains(QString::fromUtf8(t))) << t;
    // Both boxes list the catalogue in order; the input class is never offered.
    EXPECT_EQ(items(c->modellist), (QStringList{"ResNet50", "VGG16", "VGG19", "Xception"}));
    EXPECT_EQ(items(c->nodeclass), (QStringList{"ZeroPadding2D", "Conv2D", "BatchNormalization", "Activation", "MaxPooling2D",
                                                "Add", "GlobalAveragePooling2D", "Dense", "Flatten"}));
    EXPECT_FALSE(c->nodeclass->isEnabled() || c->modelgeneratebtn->isEnabled());
    // Every button can be found by assistive tools under its title.
    for (const QPushButton* b : c->window()->findChildren<QPushButton*>())
        EXPECT_EQ(b->accessibleName(), b->text());
}

TEST(Shell, WorkAreaIsTheWindowLessLeftPaneAndFrameAndPinchesCompound)
{
    ControllerFixture f(QSize(1200, 800));
    ViewController* c = f.controller;
    c->windowDidResize();
    EXPECT_EQ(c->imageview->size(), QSize(1000, 742));
    f.window->resize(900, 600);
    QTest::qWait(0);
    c->windowDidResize();
    EXPECT_EQ(c->imageview->size(), QSize(700, 542));
    c->imageview->setFixedSize(1000, 500);
    c->magnify(0.1);
    c->magnify(0.1);
    EXPECT_EQ(c->imageview->size(), QSize(1210, 605));
}

TEST(Shell, PaneSwitchingShowsThePaneAndKeepsItsLastDocument)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    auto* table = new QLabel(QStringLiteral("table stand-in"));
    auto* graph = new QLabel(QStringLiteral("graph stand-in"));
    c->lastlabelview = table;
    c->lasttrainview = graph;
    c->LabelViewBtn->setEnabled(true);
    c->TrainViewBtn->setEnabled(true);

    c->LabelViewBtn->click();
    EXPECT_TRUE(c->labelView->isVisible() && !c->trainView->isVisible());
    EXPECT_EQ(c->scrollview->widget(), table);
    c->TrainViewBtn->click();  // the buttons are exclusive: label goes off
    EXPECT_TRUE(!c->LabelViewBtn->isChecked() && c->trainView->isVisible() && !c->labelView->isVisible());
    EXPECT_EQ(c->scrollview->widget(), graph);
    c->LabelViewBtn->click();  // the table was kept, not deleted, while the graph was shown
    EXPECT_EQ(c->scrollview->widget(), table);
    EXPECT_EQ(table->text(), "table stand-in");

    c->removesubviews(c->RightView);  // emptied, the work area still keeps its document for later
    EXPECT_FALSE(c->scrollview->isVisible());
    c->setDocumentView(table);
    EXPECT_EQ(c->scrollview->widget(), table);
    EXPECT_EQ(table->text(), "table stand-in");
}
