#include "data/csvtable.h"
#include "data/dataopening.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using dataopening::PickedKind;

namespace {
void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
}  // namespace

// ---- Classification of picked items ----------------------------------------------------------

struct PickedCase {
    const char* path;
    bool isDirectory;
    PickedKind kind;
    const char* line;
};

class Classification : public ::testing::TestWithParam<PickedCase> {};

TEST_P(Classification, ByLowerCaseExtension)
{
    const PickedCase& c = GetParam();
    const PickedKind kind = dataopening::classifyPicked(QString::fromUtf8(c.path), c.isDirectory);
    EXPECT_EQ(kind, c.kind) << c.path;
    EXPECT_EQ(dataopening::kindLine(kind), QString::fromUtf8(c.line));
}

INSTANTIATE_TEST_SUITE_P(Rows, Classification, ::testing::Values(
    PickedCase{"/d/a.png", false, PickedKind::PngImage, "png image"},
    PickedCase{"/d/A.PNG", false, PickedKind::PngImage, "png image"},
    PickedCase{"/d/a.jpg", false, PickedKind::JpgImage, "jpg image"},
    PickedCase{"/d/a.JpG", false, PickedKind::JpgImage, "jpg image"},
    PickedCase{"/d/a.jpeg", false, PickedKind::JpegImage, "jpeg image"},
    PickedCase{"/d/b.csv", false, PickedKind::Table, "table data"},
    PickedCase{"/d/b.CSV", false, PickedKind::Table, "table data"},
    PickedCase{"/d/report.pdf", false, PickedKind::Rejected, "wrong file"},
    PickedCase{"/d/z.jpg.bak", false, PickedKind::Rejected, "wrong file"},
    PickedCase{"/d/archive.png.tar", false, PickedKind::Rejected, "wrong file"},
    PickedCase{"/d/data", false, PickedKind::Folder, "folder"},          // no extension: a folder to list
    PickedCase{"/d/trailing.", false, PickedKind::Folder, "folder"},
    PickedCase{"/d/photos.v2", true, PickedKind::Folder, "folder"},      // a directory, whatever its name
    PickedCase{"/d/shots.png", true, PickedKind::Folder, "folder"},
    PickedCase{"/d/plain", true, PickedKind::Folder, "folder"},
    PickedCase{"/d/.hidden", false, PickedKind::Folder, "folder"}));

// ---- Folder filter ---------------------------------------------------------------------------

TEST(FolderScan, KeepsImageNamesThenAcceptsImageExtensionsOnly)
{
    QTemporaryDir dir;
    for (const char* name : {"x.JPG", "y.jpeg", "notes.txt", "z.jpg.bak", "w.png", "jpegs.txt", "v.gif"})
        writeBytes(dir.filePath(QString::fromUtf8(name)), "x");
    QDir(dir.path()).mkdir(QStringLiteral("sub.png"));  // a folder that only looks like an image

    const dataopening::FolderScan scan = dataopening::scanFolder(dir.path());
    ASSERT_TRUE(scan.listed);
    EXPECT_EQ(scan.entries.size(), 8);
    EXPECT_EQ(scan.retained, (QStringList{"jpegs.txt", "sub.png", "w.png", "x.JPG", "y.jpeg", "z.jpg.bak"}));
    EXPECT_EQ(scan.accepted, (QStringList{dir.filePath("w.png"), dir.filePath("x.JPG"), dir.filePath("y.jpeg")}));
}

TEST(FolderScan, FilesAndMissingFoldersCannotBeListed)
{
    QTemporaryDir dir;
    writeBytes(dir.filePath("data"), "not a folder");
    EXPECT_FALSE(dataopening::scanFolder(dir.filePath("data")).listed);
    EXPECT_FALSE(dataopening::scanFolder(dir.filePath("missing")).listed);
    const dataopening::FolderScan empty = dataopening::scanFolder(dir.path() + "/");
    EXPECT_TRUE(empty.listed);
    EXPECT_TRUE(empty.retained.isEmpty());
}

// ---- CSV shapes ------------------------------------------------------------------------------

struct CsvCase {
    const char* name;
    const char* text;
    QList<QStringList> rows;
};

class CsvShapes : public ::testing::TestWithParam<CsvCase> {};

TEST_P(CsvShapes, SplitIntoRowsAndFields)
{
    EXPECT_EQ(csvtable::splitRows(QString::fromUtf8(GetParam().text)), GetParam().rows) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Rows, CsvShapes, ::testing::Values(
    CsvCase{"final line feed dropped", "a,b\n1,2\n3,4\n", {{"a", "b"}, {"1", "2"}, {"3", "4"}}},
    CsvCase{"no final line feed", "a,b\n1,2", {{"a", "b"}, {"1", "2"}}},
    CsvCase{"single column keeps its empty last row", "x\n1\n2\n", {{"x"}, {"1"}, {"2"}, {""}}},
    CsvCase{"duplicate header", "a,a\n1,2\n", {{"a", "a"}, {"1", "2"}}},
    CsvCase{"empty file", "", {{""}}},
    CsvCase{"ragged rows stay ragged", "a,b,c\n1\n2,3\n4,5,6", {{"a", "b", "c"}, {"1"}, {"2", "3"}, {"4", "5", "6"}}},
    CsvCase{"only a short last row is dropped", "a,b,c\n1\n2,3", {{"a", "b", "c"}, {"1"}}},
    CsvCase{"carriage return stays in the last field", "a,b\r\n1,2\r\n", {{"a", "b\r"}, {"1", "2\r"}}},
    CsvCase{"quotes do not protect commas", "\"a,b\",c\n1,2,3", {{"\"a", "b\"", "c"}, {"1", "2", "3"}}},
    CsvCase{"blanks are kept", " a , b\n", {{" a ", " b"}}}));

TEST(CsvCells, DuplicateTitlesShareTheFirstFieldAndShortRowsReadEmpty)
{
    QList<QStringList> rows{{"a", "a", "b"}, {"1", "2", "3"}, {"4"}};
    EXPECT_EQ(csvtable::fieldIndex(rows[0], 1), 0);
    EXPECT_EQ(csvtable::fieldIndex(rows[0], 2), 2);
    EXPECT_EQ(csvtable::fieldIndex(rows[0], 3), -1);
    EXPECT_EQ(csvtable::cellText(rows, 0, 2), "3");
    EXPECT_EQ(csvtable::cellText(rows, 1, 2), "");   // missing field
    EXPECT_EQ(csvtable::cellText(rows, 5, 0), "");   // missing row
    csvtable::setCellText(rows, 1, 2, "9");          // extends the short row
    EXPECT_EQ(rows[2], (QStringList{"4", "", "9"}));
    csvtable::setCellText(rows, 7, 0, "1");          // no such row: nothing happens
    EXPECT_EQ(rows.size(), 3);
}

struct NumberCase {
    const char* text;
    bool number;
};

class CellNumbers : public ::testing::TestWithParam<NumberCase> {};

TEST_P(CellNumbers, WholeTextMustBeANumber)
{
    EXPECT_EQ(csvtable::isNumber(QString::fromUtf8(GetParam().text)), GetParam().number) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Rows, CellNumbers, ::testing::Values(
    NumberCase{"1e3", true}, NumberCase{"-0.5", true}, NumberCase{".5", true}, NumberCase{"42", true},
    NumberCase{"12 ", false}, NumberCase{" 7", false}, NumberCase{"abc", false}, NumberCase{"", false},
    NumberCase{"1,5", false}, NumberCase{"1,000", false}, NumberCase{"3x", false}));

TEST(CsvReading, EncodingsAndBinaryFiles)
{
    QTemporaryDir dir;
    const QString bom = dir.filePath("bom.csv");
    writeBytes(bom, "\xEF\xBB\xBF" "a,b\n1,2\n");
    EXPECT_EQ(csvtable::readText(bom).text, QStringLiteral("a,b\n1,2\n"));

    const QString utf16 = dir.filePath("utf16.csv");
    const QString wide = QStringLiteral("\uFEFFé,b\n1,2");
    writeBytes(utf16, QByteArray(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2));
    EXPECT_EQ(csvtable::readText(utf16).text, QStringLiteral("é,b\n1,2"));

    const QString latin1 = dir.filePath("latin1.csv");
    writeBytes(latin1, "caf\xE9,b\n");
    EXPECT_EQ(csvtable::readText(latin1).text, QStringLiteral("café,b\n"));

    const QString binary = dir.filePath("binary.csv");
    writeBytes(binary, QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    const csvtable::ReadResult refused = csvtable::readText(binary);
    EXPECT_FALSE(refused.text.has_value());
    EXPECT_FALSE(refused.error.isEmpty());

    const csvtable::ReadResult missing = csvtable::readText(dir.filePath("missing.csv"));
    EXPECT_FALSE(missing.text.has_value());
    EXPECT_FALSE(missing.error.isEmpty());
}

TEST(CsvReading, HugeLineSplitsInOnePass)
{
    QString line;
    for (int i = 0; i < 200000; ++i)
        line += QStringLiteral("%1,").arg(i);
    const QList<QStringList> rows = csvtable::splitRows(line + QStringLiteral("\n") + line);
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].size(), 200001);
    EXPECT_EQ(rows[1][199999], "199999");
}
