#include "data/imageset.h"
#include "support/fixture.h"
#include "support/testenv.h"
#include "worker/paths.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <gtest/gtest.h>

namespace {

constexpr QDir::Filters kAll = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

QString golden(const QString& testCase, const QString& file)
{
    return QStringLiteral(KOLVARA_TEST_DATA_DIR) + "/" + testCase + "/expected/" + file;
}

// Every test starts from an empty workspace: CSVs of earlier tests would survive cleaning.
void emptyWorkspace()
{
    QDir ws(paths::workspaceFolder());
    for (const QFileInfo& e : ws.entryInfoList(kAll))
        e.isDir() ? QDir(e.filePath()).removeRecursively() : QFile::remove(e.filePath());
}

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

// A single image with a drawn grid, as labelling leaves it.
void openGrid(ViewController& c, const QString& name, const QImage& image, int rows, int cols)
{
    const QString path = testenv::scratchFolder() + "/" + name;
    ASSERT_TRUE(image.save(path, "png"));
    c.inputdatatype = 1;
    c.urlarray = {path};
    c.singleimg = image;
    c.havesingleimg = true;
    c.havegridimg = true;
    c.gridmodel.imagesize = QSizeF(image.size());
    c.gridmodel.rownum = rows;
    c.gridmodel.colnum = cols;
    c.gridmodel.gridstate = {1, 0};
}

// The workspace holds exactly the CSV and the files it names.
void expectOnlyCsvAndItsFiles(const QString& ws, const QString& csv)
{
    QStringList expected{csv};
    const QList<QByteArray> lines = readAll(ws + "/" + csv).split('\n');
    for (qsizetype k = 1; k < lines.size(); ++k) {
        if (!lines[k].isEmpty())
            expected << QString::fromUtf8(lines[k].split(',').at(3));
    }
    expected.sort();
    EXPECT_EQ(QDir(ws).entryList(kAll, QDir::Name), expected);
}

}  // namespace

class PrepareGrid : public ::testing::TestWithParam<std::pair<bool, const char*>> {};

TEST_P(PrepareGrid, WritesTheLabelCsvAndOneTilePerCell)
{
    emptyWorkspace();
    ControllerFixture f;
    ViewController& c = *f.controller;
    openGrid(c, "field.jpg.png", halves(60, 40), 2, 3);
    c.gridmodel.clickpoints = {{0, 1}, {1, 2}};
    c.gridmodel.reverse = {GetParam().first};

    const QString ws = c.preparedata();
    EXPECT_EQ(ws, paths::workspaceFolder());
    EXPECT_EQ(c.datadirectory, ws);
    EXPECT_TRUE(f.prompter.messages().isEmpty()) << f.prompter.messages().join("|").toStdString();
    EXPECT_EQ(readAll(ws + "/field_outputlabel.csv"), readAll(golden(GetParam().second, "field_outputlabel.csv")));
    expectOnlyCsvAndItsFiles(ws, "field_outputlabel.csv");
    for (const char* name : {"field_00.png", "field_02.png"})
        EXPECT_EQ(QImage(ws + "/" + name).pixel(10, 10), qRgb(0, 0, 255)) << name << " comes from the bottom";
    for (const char* name : {"field_10.png", "field_12.png"})
        EXPECT_EQ(QImage(ws + "/" + name).pixel(10, 10), qRgb(255, 0, 0)) << name << " comes from the top";
    EXPECT_EQ(QImage(ws + "/field_11.png").size(), QSize(20, 20));
}

INSTANTIATE_TEST_SUITE_P(ReverseOffAndOn, PrepareGrid,
                         ::testing::Values(std::make_pair(false, "prep_grid_2x3"),
                                           std::make_pair(true, "prep_grid_2x3_reverse")));

TEST(PrepareData, FolderInputListsTheOpenImagesInDisplayOrder)
{
    emptyWorkspace();
    ControllerFixture f;
    ViewController& c = *f.controller;
    const QString in = testenv::scratchFolder() + "/three";
    QDir().mkpath(in);
    QStringList opened;
    for (const char* name : {"zebra.png", "apple.jpg", "mango.png"}) {
        ASSERT_TRUE(halves(12, 8).save(in + "/" + name));
        opened << in + "/" + name;
    }
    c.inputdatatype = 2;
    c.urlarray = opened;
    c.browsermodel.urlarray = opened;
    c.browsermodel.data = {{"zebra", "0"}, {"apple", "0"}, {"mango", "0"}, {"earlier", "1"}};

    const QString ws = c.preparedata();
    EXPECT_EQ(ws, paths::workspaceFolder());
    EXPECT_EQ(readAll(ws + "/folderimage_outputlabel.csv"),
              readAll(golden("prep_folder_three", "folderimage_outputlabel.csv")));
    expectOnlyCsvAndItsFiles(ws, "folderimage_outputlabel.csv");
    EXPECT_EQ(QImage(ws + "/apple.png").size(), QSize(12, 8));
    EXPECT_EQ(QImage(ws + "/mango.png").pixel(0, 7), qRgb(0, 0, 255));
}

TEST(PrepareData, StoredNamesKeepTheCsvWellFormed)
{
    emptyWorkspace();
    ControllerFixture f;
    ViewController& c = *f.controller;
    const QString in = testenv::scratchFolder() + "/odd";
    QDir().mkpath(in);
    const QStringList opened{in + "/a,b.png", in + "/line\nbreak.png"};
    for (const QString& p : opened)
        ASSERT_TRUE(halves(4, 4).save(p, "png"));
    c.inputdatatype = 2;
    c.browsermodel.urlarray = opened;
    c.browsermodel.data = {{imageset::storedName(opened[0]), "1"}, {imageset::storedName(opened[1]), "0"}};

    const QString ws = c.preparedata();
    EXPECT_EQ(readAll(ws + "/folderimage_outputlabel.csv"),
              "index,i,j,filename,label\n1,1,1,a_b.png,1\n2,2,2,line_break.png,0\n");
    expectOnlyCsvAndItsFiles(ws, "folderimage_outputlabel.csv");
}

TEST(PrepareData, CleaningLeavesOnlyCsvFilesAndTheNewSamples)
{
    emptyWorkspace();
    ControllerFixture f;
    ViewController& c = *f.controller;
    const QString ws = paths::workspaceFolder();
    for (const char* name : {"notes.txt", "old_00.png", "earlier_outputlabel.csv", "README"})
        QFile(ws + "/" + name).open(QIODevice::WriteOnly);
    QDir(ws).mkpath("leftover/inner");
    QFile(ws + "/leftover/inner/kept.csv").open(QIODevice::WriteOnly);
    openGrid(c, "plot.png", halves(20, 10), 1, 2);

    ASSERT_EQ(c.preparedata(), ws);
    EXPECT_EQ(QDir(ws).entryList(kAll, QDir::Name),
              (QStringList{"earlier_outputlabel.csv", "plot_00.png", "plot_01.png", "plot_outputlabel.csv"}));
}

TEST(PrepareData, GridsOverTenRowsNameEveryTileApart)
{
    emptyWorkspace();
    ControllerFixture f;
    ViewController& c = *f.controller;
    openGrid(c, "tall.png", halves(24, 24), 12, 2);
    c.gridmodel.clickpoints = {{11, 1}};
    const QString ws = c.preparedata();
    const QByteArray csv = readAll(ws + "/tall_outputlabel.csv");
    EXPECT_TRUE(csv.contains("\n3,1,0,tall_1_0.png,0\n"));
    EXPECT_TRUE(csv.endsWith("\n24,11,1,tall_11_1.png,1\n"));
    EXPECT_EQ(QDir(ws).entryList({"*.png"}, QDir::Files).size(), 24);
}

struct RefusalCase {
    const char* why;
    std::function<void(ViewController&)> spoil;
    const char* message;
};

TEST(PrepareData, NothingIsWrittenWithoutAGridOrAFile)
{
    const RefusalCase cases[] = {
        {"no grid drawn", [](ViewController& c) { c.gridmodel.gridstate = {0}; }, "Draw a grid on the image first."},
        {"zero columns", [](ViewController& c) { c.gridmodel.colnum = 0; }, "Draw a grid on the image first."},
        {"no counts", [](ViewController& c) { c.gridmodel.rownum.reset(); }, "Draw a grid on the image first."},
        {"no opened file", [](ViewController& c) { c.urlarray.clear(); }, "Open an image first."},
        {"no image", [](ViewController& c) { c.singleimg = QImage(); }, "Open an image first."},
        {"empty folder", [](ViewController& c) { c.inputdatatype = 2; c.browsermodel.urlarray.clear(); },
         "No file in folder."},
    };
    for (const RefusalCase& rc : cases) {
        emptyWorkspace();
        ControllerFixture f;
        ViewController& c = *f.controller;
        openGrid(c, "field.png", halves(8, 8), 2, 2);
        rc.spoil(c);
        EXPECT_TRUE(c.preparedata().isEmpty()) << rc.why;
        EXPECT_EQ(f.prompter.messages(), QStringList{rc.message}) << rc.why;
        EXPECT_TRUE(c.datadirectory.isEmpty()) << rc.why;
        EXPECT_TRUE(QDir(paths::workspaceFolder()).entryList(kAll).isEmpty()) << rc.why;
    }
}

TEST(PrepareData, TableInputWritesNothing)
{
    emptyWorkspace();
    ControllerFixture f;
    f.controller->inputdatatype = 3;
    f.controller->datadirectory = "/somewhere/earlier";
    EXPECT_EQ(f.controller->preparedata(), "/somewhere/earlier");
    EXPECT_TRUE(QDir(paths::workspaceFolder()).entryList(kAll).isEmpty());
    EXPECT_TRUE(f.prompter.messages().isEmpty());
}

TEST(PrepareData, UnreadableImagesAreReported)
{
    emptyWorkspace();
    ControllerFixture f;
    ViewController& c = *f.controller;
    const QString in = testenv::scratchFolder() + "/broken";
    QDir().mkpath(in);
    ASSERT_TRUE(halves(4, 4).save(in + "/good.png"));
    QFile bad(in + "/bad.png");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    c.inputdatatype = 2;
    c.browsermodel.urlarray = {in + "/good.png", in + "/bad.png"};

    EXPECT_TRUE(c.preparedata().isEmpty()) << "a run on incomplete samples would fail later";
    ASSERT_EQ(f.prompter.messages(), QStringList{"Cannot save 1 of 2 images."});
    EXPECT_TRUE(f.prompter.alerts().front().informative.contains("bad.png"));
    EXPECT_TRUE(QFile::exists(paths::workspaceFolder() + "/good.png")) << "the other samples are still written";
}

TEST(PrepareData, AnUnwritableLabelFileStopsBeforeAnySample)
{
    emptyWorkspace();
    ControllerFixture f;
    ViewController& c = *f.controller;
    const QString ws = paths::workspaceFolder();
    QDir(ws).mkpath("field_outputlabel.csv");  // a folder where the file should go
    QFile(ws + "/notes.txt").open(QIODevice::WriteOnly);
    openGrid(c, "field.png", halves(8, 8), 2, 2);
    c.datadirectory = "/earlier/workspace";

    EXPECT_TRUE(c.preparedata().isEmpty()) << "a stale workspace must not pass for prepared data";
    EXPECT_EQ(f.prompter.messages(), QStringList{"Cannot write the label file."});
    EXPECT_EQ(c.datadirectory, "/earlier/workspace");
    EXPECT_EQ(QDir(ws).entryList(kAll, QDir::Name), (QStringList{"field_outputlabel.csv", "notes.txt"}));
}
