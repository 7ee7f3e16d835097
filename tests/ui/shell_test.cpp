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
}  // namespace

TEST(Shell, StartsWithDisabledPaneButtonsAndEveryControl)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    EXPECT_FALSE(c->LabelViewBtn->isEnabled());
    EXPECT_FALSE(c->TrainViewBtn->isEnabled());
    EXPECT_FALSE(c->ResultViewBtn->isEnabled());
    EXPECT_EQ(c->gridcol->text(), "10");
    EXPECT_EQ(c->gridrow->text(), "10");
    EXPECT_EQ(c->imagelabelval->text(), "0");
    EXPECT_EQ(c->inputdatatype, 0);
    EXPECT_TRUE(c->datadirectory.isEmpty());
    EXPECT_TRUE(c->modeljson.is_null());
    const QStringList label = texts(c->labelView);
    for (const char* t : {"Col", "Row", "Label", "Draw Grid!", "Tile size: ", "Reverse!", "Selected image label:", "Label Images!"})
        EXPECT_TRUE(label.contains(QString::fromUtf8(t))) << t;
    const QStringList train = texts(c->trainView);
    for (const char* t : {"Pre-trained model", "Customize model", "New Model", "Add node class:", "Gnerate ML Model",
                          "Training Strategy", "Strategy Config"})
        EXPECT_TRUE(train.contains(QString::fromUtf8(t))) << t;
    EXPECT_FALSE(c->nodeclass->isEnabled());
    EXPECT_FALSE(c->modelgeneratebtn->isEnabled());
    // Every button can be found by assistive tools under its title.
    for (const QPushButton* b : c->window()->findChildren<QPushButton*>())
        EXPECT_EQ(b->accessibleName(), b->text());
}

TEST(Shell, LeftPaneIs200WideAndWorkAreaIsWindowLessFrame)
{
    ControllerFixture f(QSize(1200, 800));
    EXPECT_EQ(f.controller->LeftView->width(), 200);
    EXPECT_EQ(f.controller->workAreaSize(), QSize(1000, 742));
    EXPECT_EQ(f.controller->RightView->width(), 1000);
}

TEST(Shell, PaneSwitchingShowsThePaneAndItsLastDocument)
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
    EXPECT_TRUE(c->labelView->isVisible());
    EXPECT_FALSE(c->trainView->isVisible());
    EXPECT_EQ(c->scrollview->widget(), table);

    c->TrainViewBtn->click();  // the buttons are exclusive: label goes off
    EXPECT_FALSE(c->LabelViewBtn->isChecked());
    EXPECT_TRUE(c->trainView->isVisible());
    EXPECT_FALSE(c->labelView->isVisible());
    EXPECT_EQ(c->scrollview->widget(), graph);

    c->LabelViewBtn->click();  // the table was kept, not deleted, while the graph was shown
    EXPECT_EQ(c->scrollview->widget(), table);
    EXPECT_EQ(table->text(), "table stand-in");
}

TEST(Shell, ResizeFitsTheImageViewToTheWorkAreaAndPinchesCompound)
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

TEST(Shell, RemovingTheWorkAreaKeepsItsDocumentForLater)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    auto* doc = new QLabel(QStringLiteral("doc"));
    c->setDocumentView(doc);
    EXPECT_TRUE(c->scrollview->isVisible());
    c->removesubviews(c->RightView);
    EXPECT_FALSE(c->scrollview->isVisible());
    EXPECT_EQ(c->scrollview->widget(), nullptr);
    c->setDocumentView(doc);
    EXPECT_EQ(c->scrollview->widget(), doc);
}
