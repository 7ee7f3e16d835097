#include "data/csvtable.h"
#include "data/dataopening.h"
#include "support/badfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>


namespace {
TEST(FolderScan, KeepsImageNamesThenAcceptsImageExtensionsOnly)
{
    QTemporaryDir dir;
    for (const char* name : {"x.JPG", "y.jpeg", "notes.txt", "z.jpg.bak", "w.png", "jpegs.txt", "v.gif"})
        EXPECT_TRUE(badfiles::write(dir.filePath(QString::fromUtf8(name)), "x"));
    QDir(dir.path()).mkdir(QStringLiteral("sub.png"));  // a folder that only looks like an image
    const dataopening::FolderScan scan = dataopening::scanFolder(dir.path());
    ASSERT_TRUE(scan.listed);
    EXPECT_EQ(scan.retained, (QStringList{"jpegs.txt", "sub.png", "w.png", "x.JPG", "y.jpeg", "z.jpg.bak"}));
    EXPECT_EQ(scan.accepted, (QStringList{dir.filePath("w.png"), dir.filePath("x.JPG"), dir.filePath("y.jpeg")}));

    EXPECT_FALSE(dataopening::scanFolder(dir.filePath("x.JPG")).listed);
    EXPECT_FALSE(dataopening::scanFolder(dir.filePath("missing")).listed);
    EXPECT_TRUE(dataopening::scanFolder(dir.filePath("sub.png") + "/").listed);
}

TEST(CsvShapes, SplitIntoRowsAndFields)
{
    const std::pair<const char*, QList<QStringList>> cases[] = {
        {"a,b\n1,2\n3,4\n", {{"a", "b"}, {"1", "2"}, {"3", "4"}}},  // the final line feed ends the last row
        {"a,b\n1,2", {{"a", "b"}, {"1", "2"}}},
        {"a,b,c\n1\n2,3", {{"a", "b", "c"}, {"1"}, {"2", "3"}}},  // ragged rows stay ragged; a short last row keeps its data
        {"a\n1\n", {{"a"}, {"1"}, {""}}},                                                 // one field: the empty row matches
        {"a,b\r\n1,2\r\n", {{"a", "b\r"}, {"1", "2\r"}}},                                  // the carriage return stays
        {"\"a,b\",c\n1,2,3", {{"\"a", "b\"", "c"}, {"1", "2", "3"}}},                      // quotes do not protect commas
        {" a , b\n", {{" a ", " b"}}},
    };
    for (const auto& [text, rows] : cases)
        EXPECT_EQ(csvtable::splitRows(QString::fromUtf8(text)), rows) << text;
}

// Which edits count as numbers is checked through the table view.
TEST(CsvCells, FieldsOfDuplicateTitlesAndMissingCells)
{
    QList<QStringList> rows{{"a", "a", "b"}, {"1", "2", "3"}, {"4"}};
    EXPECT_EQ((std::vector<int>{csvtable::fieldIndex(rows[0], 1), csvtable::fieldIndex(rows[0], 2), csvtable::fieldIndex(rows[0], 3)}),
              (std::vector<int>{0, 2, -1}));
    EXPECT_EQ(csvtable::cellText(rows, 5, 0), "");  // missing row
    csvtable::setCellText(rows, 7, 0, "1");          // no such row: nothing happens
    EXPECT_EQ(rows.size(), 3);
}

TEST(CsvReading, EncodingsAndMissingFiles)
{
    QTemporaryDir dir;
    EXPECT_TRUE(badfiles::write(dir.filePath("bom.csv"), "\xEF\xBB\xBF" "a,b\n1,2\n"));
    EXPECT_EQ(csvtable::readText(dir.filePath("bom.csv")).text, QStringLiteral("a,b\n1,2\n"));
    const QString wide = QStringLiteral("\uFEFFé,b\n1,2");
    EXPECT_TRUE(badfiles::write(dir.filePath("utf16.csv"), QByteArray(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2)));
    EXPECT_EQ(csvtable::readText(dir.filePath("utf16.csv")).text, QStringLiteral("é,b\n1,2"));
    EXPECT_TRUE(badfiles::write(dir.filePath("latin1.csv"), "caf\xE9,b\n"));
    EXPECT_EQ(csvtable::readText(dir.filePath("latin1.csv")).text, QStringLiteral("café,b\n"));
    const csvtable::ReadResult missing = csvtable::readText(dir.filePath("missing.csv"));
    EXPECT_TRUE(!missing.text && !missing.error.isEmpty());
}
}  // namespace
