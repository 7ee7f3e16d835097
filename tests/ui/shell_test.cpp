#include "data/tilegriddocument.h"
#include "session/sessionfile.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

TEST(Shell, StartsWithDisabledPaneButtonsAndNamedControls)
{
    ControllerFixture f;
    ViewController* c = f.controller;
    EXPECT_FALSE(c->labelButton()->isEnabled() || c->trainButton()->isEnabled() || c->resultButton()->isEnabled());
    EXPECT_EQ(c->trainPane().nodeclass()->findText(QStringLiteral("InputLayer")), -1) << "the input class is never offered";
    EXPECT_FALSE(c->trainPane().nodeclass()->isEnabled() || c->trainPane().modelgeneratebtn()->isEnabled());
    // Every button can be found by assistive tools under its title.
    for (const QPushButton* b : c->window()->findChildren<QPushButton*>())
        EXPECT_EQ(b->accessibleName(), b->text());
}

TEST(Shell, WorkAreaIsTheWindowLessLeftPaneAndFrameAndPinchesCompound)
{
    ControllerFixture f(QSize(1200, 800));
    ViewController* c = f.controller;
    c->windowDidResize();
    EXPECT_EQ(c->labelPane().imageview()->size(), QSize(1000, 742));
    f.window->resize(900, 600);
    QTest::qWait(0);
    c->windowDidResize();
    EXPECT_EQ(c->labelPane().imageview()->size(), QSize(700, 542));
    c->labelPane().imageview()->setFixedSize(1000, 500);
    c->magnify(0.1);
    c->magnify(0.1);
    EXPECT_EQ(c->labelPane().imageview()->size(), QSize(1210, 605));
}

// The walkthrough restores a session; here, when none is offered and what declining keeps.
TEST(Shell, RestoreIsOfferedOnlyWhileEveryInputIsThereAndDecliningOpensNothing)
{
    const QString image = testenv::scratchFolder() + "/kept.png";
    QImage(40, 20, QImage::Format_RGB32).save(image);
    struct Row {
        const char* what;
        QString input;
        bool offered;
    };
    for (const Row& row : {Row{"its image is gone", image + ".gone", false}, Row{"declined", image, true}}) {
        session::Session saved;
        saved.savedAt = QDateTime(QDate(2026, 3, 14), QTime(14, 32));
        saved.inputs = {{row.input, QDateTime()}};
        saved.tileGrid = session::TileGridPart{row.input, 4, 2, true, false, {{0, 1}}};
        ASSERT_TRUE(session::write(session::defaultPath(), saved).isEmpty());
        ControllerFixture f;
        f.prompter.answerAlert(1);  // Start Afresh
        f.controller->offerRestore();
        EXPECT_EQ(f.prompter.messages(), row.offered ? QStringList{"Restore the labels of kept.png from 14:32?"} : QStringList())
            << row.what;
        EXPECT_EQ(f.controller->inputKind(), 0) << row.what;
        EXPECT_TRUE(f.controller->tileGrid().state().clickpoints.empty()) << row.what;
    }
}
