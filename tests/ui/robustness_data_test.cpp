// Bad images and tables through the open-data panel and the thumbnail browser: the user is told
// which file failed and why, and what was open before stays open.
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/photomodel.h"
#include "data/ui/thumbnailloader.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "worker/paths.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString kCannotOpen = QStringLiteral("Cannot open the image at ");

struct Workbench : ControllerFixture {
    QTemporaryDir dir;
    ViewController* c = controller;

    QString file(const QString& name, const QByteArray& bytes) const
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(badfiles::write(path, bytes)) << path.toStdString();
        return path;
    }
    void open(const QStringList& paths)
    {
        prompter.answerPaths(paths);
        c->Opendata();
    }
    // A good image with a 4 x 2 grid and two marked tiles, as a user would have it.
    QString labelledImage()
    {
        const QString path = file(QStringLiteral("field.png"), badfiles::encoded(badfiles::picture(QSize(400, 200)), "PNG"));
        open({path});
        c->gridcol->setText(QStringLiteral("4"));
        c->gridrow->setText(QStringLiteral("2"));
        c->drawgrid();
        c->gridmodel.clickpoints = {{0, 1}, {1, 3}};
        prompter.clear();
        return path;
    }
};

// ---- One damaged image picked in the open panel ---------------------------------------------

class DamagedImage : public ::testing::TestWithParam<badfiles::BadImage> {};

TEST_P(DamagedImage, IsNamedInAnAlertAndTheLabelledImageStays)
{
    Workbench w;
    const QString good = w.labelledImage();
    const QString title = w.c->labelviewtitle->text();
    const badfiles::BadImage& bad = GetParam();
    const QString path = w.file(QString::fromUtf8(bad.fileName), bad.bytes);

    w.open({path});

    ASSERT_EQ(w.prompter.alerts().size(), 1);
    EXPECT_EQ(w.prompter.alerts()[0].message, kCannotOpen + path);
    EXPECT_TRUE(w.prompter.alerts()[0].informative.contains(QString::fromUtf8(bad.reason)))
        << w.prompter.alerts()[0].informative.toStdString();
    EXPECT_EQ(w.c->singleimg.size(), QSize(400, 200));
    EXPECT_EQ(w.c->labelviewtitle->text(), title);
    EXPECT_EQ(w.c->gridmodel.clickpoints, (std::vector<TilePoint>{{0, 1}, {1, 3}}));
    EXPECT_EQ(w.c->urlarray, QStringList{good});
    EXPECT_TRUE(w.c->havesingleimg && w.c->havegridimg);
    EXPECT_EQ(w.c->inputdatatype, 1);
    EXPECT_EQ(w.c->scrollview->widget(), w.c->imageview);  // still on screen, marks and all
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedImage, ::testing::ValuesIn(badfiles::images()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedImages, APipeNamedLikeAnImageIsRefusedWithoutBlocking)
{
    Workbench w;
    w.labelledImage();
    const QString fifo = w.dir.filePath(QStringLiteral("stream.png"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    w.open({fifo});
    ASSERT_EQ(w.prompter.messages(), QStringList{kCannotOpen + fifo});
    EXPECT_TRUE(w.prompter.alerts()[0].informative.contains(QStringLiteral("not a regular file")));
}

TEST(DamagedImages, InASelectionOnlyTheBadOnesAreLeftOut)
{
    Workbench w;
    const QList<badfiles::BadImage> bad = badfiles::images();
    const QString first = w.file(QStringLiteral("first.png"), badfiles::encoded(badfiles::picture(QSize(60, 40)), "PNG"));
    const QString broken = w.file(QString::fromUtf8(bad[1].fileName), bad[1].bytes);
    w.open({first, broken});
    EXPECT_EQ(w.prompter.messages(), QStringList{kCannotOpen + broken});
    EXPECT_EQ(w.c->urlarray, QStringList{first});
    EXPECT_EQ(w.c->singleimg.size(), QSize(60, 40));
}

// ---- The thumbnail browser --------------------------------------------------------------------

TEST(DamagedImages, BrowserShowsEmptyThumbnailsAndPreparationNamesEveryBadFile)
{
    Workbench w;
    QDir(w.dir.path()).mkdir(QStringLiteral("photos"));
    const QString folder = w.dir.filePath(QStringLiteral("photos"));
    const QString good = folder + QStringLiteral("/good.jpg");
    ASSERT_TRUE(badfiles::write(good, badfiles::encoded(badfiles::picture(QSize(300, 200)), "JPEG")));
    QStringList badNames;
    for (const badfiles::BadImage& bad : badfiles::images()) {
        // One file per case under its own base name, since base names key the labels.
        const QString name = QString::fromUtf8(bad.name) + QLatin1Char('.') + QFileInfo(QString::fromUtf8(bad.fileName)).suffix();
        ASSERT_TRUE(badfiles::write(folder + QLatin1Char('/') + name, bad.bytes));
        badNames << name;
    }

    w.open({folder});
    multiimagecollectionview* browser = w.c->multiimagecollection;
    ASSERT_EQ(browser->model().rowCount(), badNames.size() + 1);
    QTRY_VERIFY_WITH_TIMEOUT(browser->visibleThumbnailsReady(), 10000);
    (void)w.window->grab();  // painting the empty thumbnails is fine too
    EXPECT_TRUE(w.prompter.messages().isEmpty()) << "the browser shows, it does not complain";
    EXPECT_EQ(browser->loader().state(good), ThumbnailLoader::State::Ready);
    for (const QString& name : badNames)
        EXPECT_EQ(browser->loader().state(folder + QLatin1Char('/') + name), ThumbnailLoader::State::Unreadable) << name.toStdString();

    // Writing the samples: the good one is written, every bad one is named with its reason.
    EXPECT_TRUE(w.c->preparedata().isEmpty());
    ASSERT_EQ(w.prompter.messages(), QStringList{QStringLiteral("Cannot save %1 of %2 images.").arg(badNames.size()).arg(badNames.size() + 1)});
    const QString details = w.prompter.alerts()[0].informative;
    EXPECT_TRUE(details.contains(QStringLiteral("TruncatedJpeg.png: unwrappingPNGRepresentationFailed(") + folder
                                 + QStringLiteral("/TruncatedJpeg.jpg is cut short")))
        << details.toStdString();
    EXPECT_TRUE(QFile::exists(paths::workspaceFolder() + QStringLiteral("/good.png")));
}

// ---- Tables -----------------------------------------------------------------------------------

struct TableCase {
    const char* name;
    QByteArray bytes;
    QStringList header;         // shown column titles
    int rows;                   // data rows
    QString cell;               // the text shown in data row 0, column 0 (when rows > 0)
};

std::vector<TableCase> tableCases()
{
    const QByteArray longField(4'000'000, 'x');
    QByteArray manyFields = "h";
    for (int i = 1; i < 400000; ++i)
        manyFields += ",h" + QByteArray::number(i);  // several megabytes on one line
    return {
        // A carriage return stays in the data but is not shown.
        {"CrLf", "a,b\r\n1,2\r\n3,4\r\n", {"a", "b"}, 2, "1"},
        {"ByteOrderMark", "\xEF\xBB\xBF" "a,b\n1,2\n", {"a", "b"}, 1, "1"},
        {"QuotesAreText", "\"a,b\",c\n\"1,2\",3\n", {"\"a", "b\"", "c"}, 1, "\"1"},
        {"SeveralMegabyteField", "h,t\n1," + longField + "\n", {"h", "t"}, 1, "1"},
        {"SeveralMegabyteHeader", manyFields + "\n", QStringList(), 0, QString()},
        {"ControlBytesWithoutNul", "a,b\n\x01\x02\x7f,\xff\xfe\n", {"a", "b"}, 1, QStringLiteral("\x01\x02\x7f")},
        {"Empty", "", {""}, 0, QString()},
        {"OnlyLineFeeds", "\n\n\n", {""}, 3, ""},
    };
}

class TableInput : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableInput, OpensAndShowsSensibly)
{
    Workbench w;
    const TableCase& t = GetParam();
    const QString path = w.file(QStringLiteral("t.csv"), t.bytes);
    w.open({path});
    EXPECT_TRUE(w.prompter.messages().isEmpty()) << w.prompter.messages().join("|").toStdString();
    QAbstractItemModel* model = w.c->tableView->model();
    EXPECT_EQ(w.c->inputdatatype, 3);
    if (!t.header.isEmpty()) {
        QStringList shown;
        for (int col = 0; col < model->columnCount(); ++col)
            shown << model->headerData(col, Qt::Horizontal).toString();
        EXPECT_EQ(shown, t.header);
        EXPECT_EQ(model->rowCount(), t.rows);
    }
    if (t.rows > 0)
        EXPECT_EQ(model->index(0, 0).data().toString(), t.cell);
    (void)w.window->grab();
}

INSTANTIATE_TEST_SUITE_P(Cases, TableInput, ::testing::ValuesIn(tableCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TableInput, CarriageReturnsStayInTheDataForTheWorkers)
{
    Workbench w;
    w.open({w.file(QStringLiteral("crlf.csv"), "a,b\r\n1,2\r\n")});
    EXPECT_EQ(w.c->tabledata.value(1), (QStringList{"1", "2\r"}));
    EXPECT_EQ(w.c->tableView->model()->index(0, 1).data(Qt::EditRole).toString(), "2\r");
}

TEST(TableInput, UnreadableFilesAreNamedAndTheOpenTableStays)
{
    Workbench w;
    const QString good = w.file(QStringLiteral("good.csv"), "a,b\n1,2\n");
    w.open({good});
    const QString binary = w.file(QStringLiteral("binary.csv"), QByteArray("a,b\n1,\0\0\0\x01", 10));
    const QString fifo = w.dir.filePath(QStringLiteral("pipe.csv"));
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    for (const QString& path : {binary, fifo, w.dir.filePath(QStringLiteral("gone.csv"))}) {
        w.prompter.clear();
        w.open({path});
        ASSERT_EQ(w.prompter.messages(), QStringList{QStringLiteral("Cannot read the table at ") + path});
        EXPECT_FALSE(w.prompter.alerts()[0].informative.isEmpty());
        EXPECT_EQ(w.c->tabledata.value(0), (QStringList{"a", "b"}));
        EXPECT_EQ(w.c->urlarray, QStringList{good});
        EXPECT_EQ(w.c->scrollview->widget(), w.c->tableView);
    }
}

}  // namespace
