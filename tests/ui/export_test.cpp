#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace {

using testenv::freshFolder;
using testenv::readAll;

void write(const QString& path, const QByteArray& bytes) { EXPECT_TRUE(badfiles::write(path, bytes)) << path.toStdString(); }

// A workspace as a finished run leaves it, with a nested folder.
QString finishedRun(ViewController& c)
{
    c.openPictures({testenv::savePicture(testenv::scratchFolder() + "/a.png", QSize(4, 4))});
    const QString ws = c.preparedata();
    EXPECT_EQ(ws, paths::workspaceFolder());
    write(ws + "/folderimage_outputlabel.csv", ",index,i,j,filename,label,prediction\n0,1,1,1,a.png,1,1\n");
    write(ws + "/my_model.h5", "model");
    QDir(ws).mkpath("saved/assets");
    write(ws + "/saved/assets/vocab.txt", "v");
    return ws;
}

}  // namespace

TEST(ExportResults, ExportingTwiceReplacesEveryCopy)
{
    testenv::emptyFolder(paths::workspaceFolder());
    ControllerFixture f;  // a drawn grid without predictions: its tiles are written and exported
    const QString path = testenv::savePicture(testenv::scratchFolder() + "/field.png", QSize(20, 10));
    openGrid(*f.c, path, QImage(path), 2, 1);
    const QString dest = freshFolder("export-twice");
    write(dest + "/field_00.png", "stale");
    write(dest + "/mine.txt", "kept");
    for (int k = 0; k < 2; ++k) {
        f.prompter.answerPaths({dest});
        f.c->outputresult();
    }
    EXPECT_EQ(f.prompter.messages(), QStringList(2, "Finish export to " + dest));
    EXPECT_EQ(testenv::entries(dest), (QStringList{"field_00.png", "field_01.png", "field_outputlabel.csv", "mine.txt"}));
    EXPECT_EQ(QImage(dest + "/field_00.png").size(), QSize(10, 10)) << "the stale copy was replaced";
    EXPECT_EQ(readAll(dest + "/field_outputlabel.csv"), readAll(paths::workspaceFolder() + "/field_outputlabel.csv"));
}

TEST(ExportResults, ARunIsCopiedWithItsFoldersButNeverIntoItsWorkspace)
{
    ControllerFixture f;
    ViewController& c = *f.controller;
    const QString ws = finishedRun(c);
    c.tileGrid().setPredictions({});
    f.prompter.answerPaths({ws + "/saved"});
    c.outputresult();
    EXPECT_EQ(f.prompter.messages(), QStringList{"Choose a folder outside the workspace."});
    EXPECT_EQ(readAll(ws + "/my_model.h5"), "model");

    // A folder run is exported as it is, without preparing its data again.
    f.prompter.clear();
    c.tileGrid().openImage(QString(), QImage());  // no predictions on the grid
    c.openPictures({testenv::scratchFolder() + "/a.png"});
    c.pictures().setPredictions({});
    const QString dest = freshFolder("export-folder-run");
    f.prompter.answerPaths({dest});
    c.outputresult();
    EXPECT_EQ(f.prompter.messages(), QStringList{"Finish export to " + dest});
    EXPECT_EQ(readAll(dest + "/folderimage_outputlabel.csv"), readAll(ws + "/folderimage_outputlabel.csv")) << "predictions kept";
    EXPECT_TRUE(readAll(dest + "/my_model.h5") == "model" && readAll(dest + "/saved/assets/vocab.txt") == "v") << "folders come with their contents";
    EXPECT_TRUE(QFile::exists(ws + "/my_model.h5")) << "the run's files were not cleaned away";
}

TEST(ExportResults, NothingIsExportedWithoutResultsOrAGridOrAChosenFolder)
{
    ControllerFixture f;
    ViewController& c = *f.controller;
    c.openPictures({"/x/a.png"});
    c.outputresult();
    c.openSingleImageurl(testenv::savePicture(testenv::scratchFolder() + "/nogrid.png", QSize(20, 10)));  // an image without a grid
    c.outputresult();
    EXPECT_TRUE(f.prompter.fileRequests().isEmpty());
    EXPECT_EQ(f.prompter.messages(), QStringList(2, "Nothing to export yet."));
    finishedRun(c);
    c.tileGrid().setPredictions({});
    c.outputresult();  // picker cancelled
    EXPECT_EQ(f.prompter.fileRequests().size(), 1);
    EXPECT_EQ(f.prompter.messages().size(), 2);
}
