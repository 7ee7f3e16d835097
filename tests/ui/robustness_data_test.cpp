// Bad images and tables through the open-data panel and the thumbnail browser: the user is told
// which file failed and why, and what was open before stays open.
#include "data/tilegriddocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/photomodel.h"
#include "data/ui/thumbnailloader.h"
#include "support/badfiles.h"
#include "support/fixture.h"
#include "worker/paths.h"

#include <QDir>
#include <QScrollArea>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kCannotOpen = QStringLiteral("Cannot open the image at ");

struct Workbench : ControllerFixture {
    void open(const QStringList& paths)
    {
        prompter.clear();
        ControllerFixture::open(paths);
    }
};

TEST(DamagedImages, EachIsNamedInAnAlertAndTheLabelledImageStays)
{
    Workbench w;
    const QString good = w.file(QStringLiteral("field.png"), badfiles::encoded(badfiles::picture(QSize(400, 200)), "PNG"));
    w.open({good});
    drawGrid(*w.c, "4", "2");
    w.c->tileGrid().toggleMark({0, 1});
    w.c->tileGrid().toggleMark({1, 3});
    QList<std::pair<QString, QString>> bad;  // path, a piece of the reason
    for (const badfiles::BadImage& b : badfiles::images())
        bad.append({w.file(QString::fromUtf8(b.fileName), b.bytes), QString::fromUtf8(b.reason)});

    for (const auto& [path, reason] : bad) {
        w.open({path});
        ASSERT_EQ(w.prompter.messages(), QStringList{kCannotOpen + path});
        EXPECT_TRUE(w.prompter.alerts()[0].informative.contains(reason)) << w.prompter.alerts()[0].informative.toStdString();
        EXPECT_EQ(w.c->singleImage().size(), QSize(400, 200));
        EXPECT_EQ(w.c->tileGrid().state().clickpoints, (std::vector<TilePoint>{{0, 1}, {1, 3}}));
        EXPECT_EQ(w.c->inputs(), QStringList{good});
        EXPECT_EQ(w.c->workArea()->widget(), w.c->labelPane().imageview());  // still on screen, marks and all
    }

    // In a selection only the bad ones are left out.
    const QString first = w.file(QStringLiteral("first.png"), badfiles::encoded(badfiles::picture(QSize(60, 40)), "PNG"));
    w.open({first, bad[1].first});
    EXPECT_EQ(w.prompter.messages(), QStringList{kCannotOpen + bad[1].first});
    EXPECT_EQ(w.c->inputs(), QStringList{first});
    EXPECT_EQ(w.c->singleImage().size(), QSize(60, 40));
}

TEST(DamagedImages, BrowserShowsEmptyThumbnailsAndPreparationNamesEveryBadFile)
{
    Workbench w;
    const QString folder = w.dir.filePath(QStringLiteral("photos"));
    const QString good = w.file(QStringLiteral("photos/good.jpg"), badfiles::encoded(badfiles::picture(QSize(300, 200)), "JPEG"));
    QStringList bad;  // one file per case under its own base name, since base names key the labels
    for (const badfiles::BadImage& b : badfiles::images())
        bad << w.file(QStringLiteral("photos/%1.%2").arg(QLatin1String(b.name), QFileInfo(QString::fromUtf8(b.fileName)).suffix()), b.bytes);

    w.open({folder});
    multiimagecollectionview* browser = w.c->labelPane().multiimagecollection();
    ASSERT_EQ(browser->model().rowCount(), bad.size() + 1);
    QTRY_VERIFY_WITH_TIMEOUT(browser->visibleThumbnailsReady(), 10000);
    (void)w.window->grab();  // painting the empty thumbnails is fine too
    EXPECT_TRUE(w.prompter.messages().isEmpty()) << "the browser shows, it does not complain";
    EXPECT_EQ(browser->loader().state(good), ThumbnailLoader::State::Ready);
    for (const QString& path : bad)
        EXPECT_EQ(browser->loader().state(path), ThumbnailLoader::State::Unreadable) << path.toStdString();

    // Writing the samples: the good one is written, every bad one is named with its reason.
    EXPECT_TRUE(w.c->preparedata().isEmpty());
    ASSERT_EQ(w.prompter.messages(), QStringList{QStringLiteral("Cannot save %1 of %2 images.").arg(bad.size()).arg(bad.size() + 1)});
    const QString details = w.prompter.alerts()[0].informative;
    EXPECT_TRUE(details.contains(QStringLiteral("TruncatedJpeg.png: unwrappingPNGRepresentationFailed(") + folder
                                 + QStringLiteral("/TruncatedJpeg.jpg is cut short")))
        << details.toStdString();
    EXPECT_TRUE(QFile::exists(paths::workspaceFolder() + QStringLiteral("/good.png")));
}

TEST(TableInput, OddTablesOpenAndShowSensibly)
{
    QByteArray manyFields = "h";
    for (int i = 1; i < 400000; ++i)
        manyFields += ",h" + QByteArray::number(i);  // several megabytes on one line
    const std::tuple<QByteArray, QStringList, int, QString> cases[] = {  // bytes, shown titles, rows, cell (0, 0)
        {"a,b\r\n1,2\r\n3,4\r\n", {"a", "b"}, 2, "1"},  // a carriage return stays in the data, not shown
        {"h,t\n1," + QByteArray(4'000'000, 'x') + "\n", {"h", "t"}, 1, "1"},
        {manyFields + "\n", {}, 0, {}},  // titles not compared
        {"a,b\n\x01\x02\x7f,\xff\xfe\n", {"a", "b"}, 1, QStringLiteral("\x01\x02\x7f")},  // control bytes, no NUL
        {"", {""}, 0, {}},
    };
    Workbench w;
    int n = 0;
    for (const auto& [bytes, titles, rows, cell] : cases) {
        w.open({w.file(QStringLiteral("t%1.csv").arg(++n), bytes)});
        EXPECT_TRUE(w.prompter.messages().isEmpty()) << n << w.prompter.messages().join("|").toStdString();
        EXPECT_EQ(w.c->inputKind(), 3);
        QAbstractItemModel* model = w.c->labelPane().tableView()->model();
        QStringList shown;
        for (int col = 0; col < model->columnCount(); ++col)
            shown << model->headerData(col, Qt::Horizontal).toString();
        EXPECT_TRUE(titles.isEmpty() || (shown == titles && model->rowCount() == rows)) << n << shown.join('|').toStdString();
        EXPECT_TRUE(rows == 0 || model->index(0, 0).data().toString() == cell) << n;
        (void)w.window->grab();
    }
}

TEST(TableInput, AnUnreadableFileIsNamedAndTheOpenTableStays)
{
    Workbench w;
    const QString good = w.file(QStringLiteral("good.csv"), "a,b\n1,2\n");
    w.open({good});
    // Pipes and missing files are refused by the same reader (core test).
    const QString binary = w.file(QStringLiteral("binary.csv"), QByteArray("a,b\n1,\0\0\0\x01", 10));
    w.open({binary});
    ASSERT_EQ(w.prompter.messages(), QStringList{QStringLiteral("Cannot read the table at ") + binary});
    EXPECT_FALSE(w.prompter.alerts()[0].informative.isEmpty());
    EXPECT_EQ(w.c->labelPane().table().value(0), (QStringList{"a", "b"}));
    EXPECT_EQ(w.c->inputs(), QStringList{good});
    EXPECT_EQ(w.c->workArea()->widget(), w.c->labelPane().tableView());
}

}  // namespace
