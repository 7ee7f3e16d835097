#include "data/tilegriddocument.h"
#include "session/sessionfile.h"
#include "support/fixture.h"
#include "support/testenv.h"

#include <QComboBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(Shell, TheInputClassIsNeverOfferedAndEveryButtonIsNamed)
{
    ControllerFixture f;
    EXPECT_EQ(f.c->trainPane().nodeclass()->findText(QStringLiteral("InputLayer")), -1);
    // Assistive tools find every button under its title.
    for (const QPushButton* b : f.c->window()->findChildren<QPushButton*>())
        EXPECT_EQ(b->accessibleName(), b->text());
}

// The walkthrough restores a session; here, when none is offered and what declining keeps.
TEST(Shell, RestoreIsOfferedOnlyWhileEveryInputIsThereAndDecliningOpensNothing)
{
    const QString image = testenv::savePicture(testenv::scratchFolder() + "/kept.png", QSize(40, 20));
    for (const auto& [input, offered] : {std::pair{image + ".gone", false}, std::pair{image, true}}) {
        session::Session saved;
        saved.savedAt = QDateTime(QDate(2026, 3, 14), QTime(14, 32));
        saved.inputs = {{input, QDateTime()}};
        saved.tileGrid = session::TileGridPart{input, 4, 2, true, false, {{0, 1}}};
        ASSERT_TRUE(session::write(session::defaultPath(), saved).isEmpty());
        ControllerFixture f;
        f.prompter.answerAlert(1);  // Start Afresh
        f.controller->offerRestore();
        EXPECT_EQ(f.prompter.messages(), offered ? QStringList{"Restore the labels of kept.png from 14:32?"} : QStringList());
        EXPECT_EQ(f.controller->inputKind(), 0) << offered;
        EXPECT_TRUE(f.controller->tileGrid().state().clickpoints.empty()) << offered;
    }
}
