// Bad input to the file readers: damaged images, pipes, over-deep and misshapen JSON.
#include "data/csvtable.h"
#include "data/imagefile.h"
#include "model/archdocument.h"
#include "model/jsonfile.h"
#include "support/badfiles.h"
#include "worker/workerfailure.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

inline std::ostream& operator<<(std::ostream& os, const QString& s) { return os << s.toStdString(); }

namespace {

// ---- Images --------------------------------------------------------------------------------

class BadImageFile : public ::testing::TestWithParam<badfiles::BadImage> {};

TEST_P(BadImageFile, IsRefusedWithAReasonNamingIt)
{
    QTemporaryDir dir;
    const badfiles::BadImage& bad = GetParam();
    const QString path = dir.filePath(QString::fromUtf8(bad.fileName));
    ASSERT_TRUE(badfiles::write(path, bad.bytes));
    for (const QSize box : {QSize(), QSize(150, 150)}) {  // whole, and as a thumbnail
        const imagefile::Loaded loaded = imagefile::read(path, box);
        EXPECT_TRUE(loaded.image.isNull());
        EXPECT_TRUE(loaded.error.startsWith(path)) << loaded.error;
        EXPECT_TRUE(loaded.error.contains(QString::fromUtf8(bad.reason))) << loaded.error;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadImageFile, ::testing::ValuesIn(badfiles::images()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageFile, PipesAndMissingFilesAreRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_TRUE(imagefile::read(fifo).error.contains("not a regular file"));
    EXPECT_TRUE(csvtable::readText(fifo).error.contains("not a regular file"));  // same guard
    QString error;
    EXPECT_FALSE(jsonfile::read(fifo, &error));
    EXPECT_TRUE(error.contains("not a regular file")) << error;
    EXPECT_TRUE(imagefile::read(dir.filePath("gone.png")).error.contains("does not exist"));
}

TEST(ImageFile, JpegCutAnywhereIsTruncatedAndTrailingDataIsHarmless)
{
    const QByteArray jpeg = badfiles::encoded(badfiles::picture(QSize(64, 48)), "JPEG");
    ASSERT_EQ(imagefile::jpegStream(jpeg), imagefile::JpegStream::Complete);
    for (qsizetype cut = 4; cut < jpeg.size(); cut += 37)
        EXPECT_EQ(imagefile::jpegStream(jpeg.left(cut)), imagefile::JpegStream::Truncated) << cut;
    // Cameras append data after the picture; markers in it must not count.
    EXPECT_EQ(imagefile::jpegStream(jpeg + QByteArray("\xFF\xDA\x00\x08 appended", 13)), imagefile::JpegStream::Complete);
    EXPECT_EQ(imagefile::jpegStream(QByteArray("\xFF\xD8\xFF\xE0\x00\x01", 6)), imagefile::JpegStream::Malformed);
    EXPECT_EQ(imagefile::jpegStream("not a jpeg"), imagefile::JpegStream::Malformed);
}

TEST(ImageFile, SoundPicturesStillOpenWholeAndAsThumbnails)
{
    QTemporaryDir dir;
    for (const char* format : {"PNG", "JPEG"}) {
        const QString path = dir.filePath(QStringLiteral("ok.") + QString::fromLatin1(format).toLower());
        ASSERT_TRUE(badfiles::write(path, badfiles::encoded(badfiles::picture(QSize(300, 200)), format)));
        const imagefile::Loaded whole = imagefile::read(path);
        EXPECT_EQ(whole.image.size(), QSize(300, 200)) << format;
        EXPECT_TRUE(whole.error.isEmpty());
        EXPECT_EQ(imagefile::read(path, QSize(150, 150)).image.size(), QSize(150, 100)) << format;
    }
}

// A JPEG whose orientation tag says: turn a quarter clockwise to show it.
QByteArray jpegTurnedAQuarter(const QImage& image)
{
    const QByteArray tiff = QByteArray("MM\0\x2A\0\0\0\x08", 8)          // big-endian, first directory at 8
                            + QByteArray("\0\x01", 2)                       // one entry:
                            + QByteArray("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0", 12)  // Orientation (short) = 6
                            + QByteArray(4, '\0');                           // no further directory
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xFF\xE1", 2);
    app1 += char((body.size() + 2) >> 8);
    app1 += char((body.size() + 2) & 0xFF);
    QByteArray jpeg = badfiles::encoded(image, "JPEG");
    return jpeg.insert(2, app1 + body);
}

TEST(ImageFile, OrientationTagTurnsThePictureOnlyWhenAskedTo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("turned.jpg");
    ASSERT_TRUE(badfiles::write(path, jpegTurnedAQuarter(badfiles::picture(QSize(300, 200)))));
    EXPECT_EQ(imagefile::read(path).image.size(), QSize(200, 300));
    EXPECT_EQ(imagefile::read(path, QSize(150, 150)).image.size(), QSize(100, 150));
    EXPECT_EQ(imagefile::read(path, QSize(), false).image.size(), QSize(300, 200));  // as stored
}

// ---- JSON documents ------------------------------------------------------------------------

struct JsonCase {
    const char* name;
    QByteArray text;
    const char* problem;  // empty: the document is sound
};

Json layer(const char* name, const char* cls, const char* inbound = nullptr)
{
    Json rec = {{"name", name}, {"class_name", cls}, {"config", {{"name", name}}}};
    rec["inbound_nodes"] = inbound ? Json::parse(QStringLiteral(R"([[["%1",0,0,{}]]])").arg(QLatin1String(inbound)).toStdString())
                                   : Json::array();
    return rec;
}

QByteArray model(const Json& layers)
{
    return QByteArray::fromStdString(Json{{"class_name", "Functional"}, {"config", {{"name", "m"}, {"layers", layers}}}}.dump());
}

QByteArray chainWith(const std::function<void(Json&)>& change)
{
    Json layers = {layer("input_1", "InputLayer"), layer("a", "Dense", "input_1"), layer("out", "Dense", "a")};
    change(layers);
    return model(layers);
}

std::vector<JsonCase> jsonCases()
{
    Json shared = {layer("input_1", "InputLayer"), layer("twice", "Dense", "input_1"), layer("b", "Dense", "twice")};
    shared[1]["inbound_nodes"].push_back(Json::parse(R"([["b",0,0,{}]])"));
    shared.push_back(layer("out", "Dense", "twice"));
    shared[3]["inbound_nodes"][0][0][1] = 1;  // the second call of "twice", which reads b
    return {
        {"Sound", chainWith([](Json&) {}), ""},
        {"StaleInboundNameIsAllowed", chainWith([](Json& l) { l[2]["inbound_nodes"][0][0][0] = "gone"; }), ""},
        {"SharedLayerCalledTwiceIsNoCycle", model(shared), ""},
        {"TopLevelArray", "[1,2,3]", "not a JSON object"},
        {"ConfigNull", R"({"config":null})", "no config object"},
        {"LayersNotAnArray", R"({"config":{"layers":{"a":1}}})", "config.layers is not a list"},
        {"LayerIsAString", chainWith([](Json& l) { l[1] = "a"; }), "layer 2 is \"a\", not a layer record"},
        {"NameIsANumber", chainWith([](Json& l) { l[1]["name"] = 5; }), "layer 2 has no name text"},
        {"ClassMissing", chainWith([](Json& l) { l[1].erase("class_name"); }), "layer 'a' has no class_name"},
        {"LayerConfigNull", chainWith([](Json& l) { l[1]["config"] = nullptr; }), "layer 'a': its config is not an object"},
        {"InboundNodesAString", chainWith([](Json& l) { l[1]["inbound_nodes"] = "input_1"; }), "not a list of call nodes"},
        {"InboundNodesOneLevelShort", chainWith([](Json& l) { l[1]["inbound_nodes"] = Json::parse(R"([["input_1",0,0,{}]])"); }),
         "call node 0 of its inbound_nodes holds \"input_1\""},
        {"InboundNameANumber", chainWith([](Json& l) { l[1]["inbound_nodes"][0][0][0] = 7; }), "holds [7,0,0,{}]"},
        {"CycleOfTwo", chainWith([](Json& l) { l[1]["inbound_nodes"][0][0][0] = "out"; }), "cycle: a -> out -> a"},
        {"LayerReadingItself", chainWith([](Json& l) { l[2]["inbound_nodes"][0][0][0] = "out"; }), "cycle: out -> out"},
    };
}

class ArchitectureShape : public ::testing::TestWithParam<JsonCase> {};

TEST_P(ArchitectureShape, IsCheckedBeforeTheEditorTakesIt)
{
    const JsonCase& c = GetParam();
    const QString problem = archdoc::structureProblem(Json::parse(c.text.toStdString()));
    if (QByteArray(c.problem).isEmpty())
        EXPECT_TRUE(problem.isEmpty()) << problem;
    else
        EXPECT_TRUE(problem.contains(QString::fromUtf8(c.problem))) << problem;
}

INSTANTIATE_TEST_SUITE_P(Cases, ArchitectureShape, ::testing::ValuesIn(jsonCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ArchitectureShape, TenThousandLayerChainIsCheckedWithoutRecursion)
{
    Json layers = {layer("input_1", "InputLayer")};
    for (int i = 0; i < 10000; ++i) {
        const std::string name = "d" + std::to_string(i);
        layers.push_back(layer(name.c_str(), "Dense", layers.back()["name"].get<std::string>().c_str()));
    }
    EXPECT_TRUE(archdoc::inboundCycle(layers).isEmpty());
    layers[1]["inbound_nodes"][0][0][0] = "d9999";  // closes the whole chain into a ring
    EXPECT_EQ(archdoc::inboundCycle(layers).size(), 10001);
}

TEST(JsonFile, DeepNestingIsRefusedBeforeParsing)
{
    QTemporaryDir dir;
    const QString deep = dir.filePath("deep.json");
    ASSERT_TRUE(badfiles::write(deep, "{\"config\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}"));
    QString error;
    EXPECT_FALSE(jsonfile::read(deep, &error));
    EXPECT_TRUE(error.contains("nested more than 256 levels")) << error;
    EXPECT_FALSE(archdoc::readFile(deep).json);

    // Brackets inside strings are text, not nesting.
    EXPECT_EQ(jsonfile::nestingDepth(R"({"a":"[[[[\"{{{{","b":[{}]})"), 3);
}

// ---- A worker's error output in an alert -------------------------------------------------------

struct OutputCase {
    const char* name;
    QByteArray output;
    QString shown;
};

std::vector<OutputCase> outputCases()
{
    QByteArray sixteen;
    for (int i = 1; i <= 16; ++i)
        sixteen += "line " + QByteArray::number(i) + "\n";
    QStringList lastFifteen;
    for (int i = 2; i <= 16; ++i)
        lastFifteen << QStringLiteral("line %1").arg(i);
    return {
        {"OneLineAsItIs", "trainNN: epochs must be a positive whole number\n",
         "trainNN: epochs must be a positive whole number"},
        {"FifteenLinesAsTheyAre", sixteen.mid(sixteen.indexOf('\n') + 1), lastFifteen.join('\n')},
        {"SixteenLinesLoseTheFirst", sixteen, "...\n" + lastFifteen.join('\n')},
        {"OneEndlessLineKeepsItsEnd", QByteArray(5000, 'x') + "END", "...\n" + QString(1997, 'x') + "END"},
        {"ControlBytesReplaced", QByteArray("bad\0\x1b[1mbyte\xff", 13), QStringLiteral("bad\uFFFD\uFFFD[1mbyte\uFFFD")},
        {"Nothing", "", ""},
    };
}

class WorkerOutput : public ::testing::TestWithParam<OutputCase> {};

TEST_P(WorkerOutput, ShowsTheEndReadably)
{
    EXPECT_EQ(workerfailure::lastLines(GetParam().output), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkerOutput, ::testing::ValuesIn(outputCases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
