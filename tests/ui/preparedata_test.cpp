// Preparing the labelled data in the workspace, and exporting a run's results from it.
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

QByteArray golden(const QString& testCase, const QString& file)
{
    return readAll(QStringLiteral(KOLVARA_TEST_DATA_DIR) + "/" + testCase + "/expected/" + file);
}

QStringList workspaceEntries() { return testenv::entries(paths::workspaceFolder()); }

// Top half red, bottom half blue, so a tile shows where it was cut from.
QImage halves(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < h / 2; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    return image;
}

struct Prep {  // over an empty workspace: CSVs of earlier tests would survive cleaning
    bool emptied = (testenv::emptyFolder(paths::workspaceFolder()), true);
    ControllerFixture f;
    ViewController& c = *f.controller;

    // A single image with a drawn grid, as labelling leaves it.
    void openGrid(const QString& name, const QImage& image, int rows, int cols)
    {
        const QString path = testenv::scratchFolder() + "/" + name;
        ASSERT_TRUE(image.save(path, "png"));
        ::openGrid(c, path, image, cols, rows);
    }

    // The workspace holds exactly the CSV and the files it names.
    void expectOnlyCsvAndItsFiles(const QString& csv)
    {
        QStringList expected{csv};
        const QList<QByteArray> lines = readAll(paths::workspaceFolder() + "/" + csv).split('\n');
        for (qsizetype k = 1; k < lines.size(); ++k)
            if (!lines[k].isEmpty())
                expected << QString::fromUtf8(lines[k].split(',').at(3));
        expected.sort();
        EXPECT_EQ(workspaceEntries(), expected);
    }
};

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

TEST(PrepareData, GridWritesTheLabelCsvAndOneTilePerCellWithReverseOffAndOn)
{
    for (const auto& [reverse, golden_case] : {std::pair{false, "prep_grid_2x3"}, std::pair{true, "prep_grid_2x3_reverse"}}) {
        Prep p;  // what an earlier run left is cleaned away, folders too
        for (const char* stale : {"notes.txt", "old_00.png", "leftover/inner/kept.csv"}) {
            QDir().mkpath(QFileInfo(paths::workspaceFolder() + "/" + stale).path());
            QFile(paths::workspaceFolder() + "/" + stale).open(QIODevice::WriteOnly);
        }
        p.openGrid("field.jpg.png", halves(60, 40), 2, 3);
        p.c.tileGrid().restoreGrid(3, 2, true, {{0, 1}, {1, 2}}, reverse);

        const QString ws = p.c.preparedata();
        EXPECT_TRUE(ws == paths::workspaceFolder() && p.c.workspaceFolder() == ws && p.f.prompter.messages().isEmpty()) << p.f.prompter.messages().join("|").toStdString();
        EXPECT_EQ(readAll(ws + "/field_outputlabel.csv"), golden(golden_case, "field_outputlabel.csv"));
        p.expectOnlyCsvAndItsFiles("field_outputlabel.csv");
        EXPECT_EQ(QImage(ws + "/field_02.png").pixel(10, 10), qRgb(0, 0, 255)) << "row 0 comes from the bottom";
        EXPECT_EQ(QImage(ws + "/field_12.png").pixel(10, 10), qRgb(255, 0, 0)) << "row 1 from the top";
    }
}

TEST(PrepareData, FolderInputListsTheOpenImagesInDisplayOrder)
{
    Prep p;
    const QString in = testenv::freshFolder("three");
    QStringList paths;
    for (const char* name : {"zebra.png", "apple.jpg", "mango.png"})
        ASSERT_TRUE(halves(12, 8).save(paths.emplace_back(in + "/" + name), "png"));
    p.c.openPictures(paths);
    p.c.pictures().restoreLabels({{"earlier", "1"}});
    const QString ws = p.c.preparedata();
    EXPECT_EQ(readAll(ws + "/folderimage_outputlabel.csv"), golden("prep_folder_three", "folderimage_outputlabel.csv"));
    p.expectOnlyCsvAndItsFiles("folderimage_outputlabel.csv");
    EXPECT_EQ(QImage(ws + "/apple.png").pixel(0, 7), qRgb(0, 0, 255));
}

TEST(PrepareData, NothingIsWrittenWithoutAGridOrAFile)
{
    const struct RefusalCase {
        const char* why;
        std::function<void(ViewController&)> spoil;
        const char* message;  // empty: a table input, which keeps its earlier data folder
    } cases[] = {
        {"no grid drawn", [](ViewController& c) { c.tileGrid().restoreGrid(2, 2, false, {}, false); }, "Draw a grid on the image first."},
        {"no image", [](ViewController& c) { c.tileGrid().openImage(c.inputs().value(0), QImage()); }, "Open an image first."},
        {"empty folder", [](ViewController& c) { c.openPictures({}); }, "No file in folder."},
        {"table input", [](ViewController& c) { badfiles::write(testenv::scratchFolder() + "/t.csv", "a,b\n1,2\n"); c.opentable(testenv::scratchFolder() + "/t.csv"); }, ""},
    };
    for (const RefusalCase& rc : cases) {
        Prep p;
        p.openGrid("field.png", halves(8, 8), 2, 2);
        rc.spoil(p.c);
        const bool table = !*rc.message;
        EXPECT_EQ(p.c.preparedata(), "") << rc.why;  // a table is not prepared: it keeps the data folder it had
        EXPECT_EQ(p.f.prompter.messages(), table ? QStringList() : QStringList{rc.message}) << rc.why;
        EXPECT_TRUE(p.c.workspaceFolder().isEmpty() && workspaceEntries().isEmpty()) << rc.why;
    }
}

TEST(PrepareData, AnUnwritableLabelFileStopsBeforeAnySample)
{
    Prep p;
    const QString ws = paths::workspaceFolder();
    QDir(ws).mkpath("field_outputlabel.csv");  // a folder where the file should go
    QFile(ws + "/notes.txt").open(QIODevice::WriteOnly);
    p.openGrid("field.png", halves(8, 8), 2, 2);
    EXPECT_TRUE(p.c.preparedata().isEmpty() && p.c.workspaceFolder().isEmpty()) << "a stale workspace must not pass for prepared data";
    EXPECT_EQ(p.f.prompter.messages(), QStringList{"Cannot write the label file."});
    EXPECT_EQ(workspaceEntries(), (QStringList{"field_outputlabel.csv", "notes.txt"}));
}

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
    EXPECT_TRUE(f.prompter.messages() == QStringList{"Choose a folder outside the workspace."} && readAll(ws + "/my_model.h5") == "model");

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
