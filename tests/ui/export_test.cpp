#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "support/fixture.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace {

constexpr QDir::Filters kAll = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

QString freshFolder(const QString& name)
{
    const QString dir = testenv::scratchFolder() + "/" + name;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

void write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A workspace as a finished run leaves it, with a nested folder.
QString finishedRun(ViewController& c)
{
    const QString picture = testenv::scratchFolder() + "/a.png";
    QImage(4, 4, QImage::Format_RGB32).save(picture);
    c.openPictures({picture});
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
    QDir ws(paths::workspaceFolder());
    for (const QFileInfo& e : ws.entryInfoList(kAll))
        e.isDir() ? QDir(e.filePath()).removeRecursively() : QFile::remove(e.filePath());
    ControllerFixture f;
    ViewController& c = *f.controller;  // a drawn grid without predictions: its tiles are written and exported
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::green);
    const QString path = testenv::scratchFolder() + "/field.png";
    ASSERT_TRUE(image.save(path));
    openGrid(c, path, image, 2, 1);
    const QString dest = freshFolder("export-twice");
    write(dest + "/field_00.png", "stale");
    write(dest + "/mine.txt", "kept");
    for (int k = 0; k < 2; ++k) {
        f.prompter.answerPaths({dest});
        c.outputresult();
    }
    EXPECT_EQ(f.prompter.messages(), QStringList(2, "Finish export to " + dest));
    EXPECT_EQ(QDir(dest).entryList(kAll, QDir::Name), (QStringList{"field_00.png", "field_01.png", "field_outputlabel.csv", "mine.txt"}));
    EXPECT_EQ(QImage(dest + "/field_00.png").size(), QSize(10, 10)) << "the stale copy was replaced";
    EXPECT_EQ(readAll(dest + "/field_outputlabel.csv"), readAll(ws.filePath("field_outputlabel.csv")));
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
    EXPECT_EQ(readAll(dest + "/my_model.h5"), "model");
    EXPECT_EQ(readAll(dest + "/saved/assets/vocab.txt"), "v") << "folders come with their contents";
    EXPECT_TRUE(QFile::exists(ws + "/my_model.h5")) << "the run's files were not cleaned away";
}

TEST(ExportResults, NothingIsExportedWithoutResultsOrAGridOrAChosenFolder)
{
    ControllerFixture f;
    ViewController& c = *f.controller;
    c.openPictures({"/x/a.png"});
    c.outputresult();
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::green);
    const QString path = testenv::scratchFolder() + "/nogrid.png";
    ASSERT_TRUE(image.save(path));
    c.openSingleImageurl(path);  // an image without a grid
    c.outputresult();
    EXPECT_TRUE(f.prompter.fileRequests().isEmpty());
    EXPECT_EQ(f.prompter.messages(), QStringList(2, "Nothing to export yet."));
    f.prompter.clear();

    finishedRun(c);
    c.tileGrid().setPredictions({});
    c.outputresult();  // picker cancelled
    EXPECT_EQ(f.prompter.fileRequests().size(), 1);
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}
