// Bad input to the file readers: damaged images, pipes, over-deep and misshapen JSON, worker output.
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

// Each damaged image's message is checked where the user sees it, in the open-data panel test.
TEST(ImageFile, PipesAndMissingFilesAreRefusedWithoutWaiting)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_TRUE(imagefile::read(fifo).error.contains("not a regular file"));
    EXPECT_TRUE(csvtable::readText(fifo).error.contains("not a regular file"));
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

// The JPEG with an orientation tag saying: turn a quarter clockwise to show it.
QByteArray turnedAQuarter(const QByteArray& jpeg)
{
    const QByteArray body = QByteArray("Exif\0\0MM\0\x2A\0\0\0\x08\0\x01", 16)              // one big-endian entry:
                            + QByteArray("\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 16);  // Orientation = 6
    const QByteArray app1 = QByteArray("\xFF\xE1", 2) + char((body.size() + 2) >> 8) + char((body.size() + 2) & 0xFF);
    return QByteArray(jpeg).insert(2, app1 + body);
}

TEST(ImageFile, SoundPicturesOpenWholeAsThumbnailsAndTurnedOnlyWhenAsked)
{
    QTemporaryDir dir;
    const QImage image = badfiles::picture(QSize(300, 200));
    const QByteArray jpeg = badfiles::encoded(image, "JPEG");
    const std::tuple<const char*, QByteArray, QSize> cases[] = {  // file, bytes, size shown upright
        {"ok.png", badfiles::encoded(image, "PNG"), {300, 200}}, {"ok.jpg", jpeg, {300, 200}}, {"turned.jpg", turnedAQuarter(jpeg), {200, 300}}};
    for (const auto& [file, bytes, upright] : cases) {
        const QString path = dir.filePath(file);
        ASSERT_TRUE(badfiles::write(path, bytes));
        const imagefile::Loaded whole = imagefile::read(path);
        EXPECT_EQ(whole.image.size(), upright) << file;
        EXPECT_TRUE(whole.error.isEmpty()) << whole.error;
        EXPECT_EQ(imagefile::read(path, QSize(150, 150)).image.size(), upright.scaled(150, 150, Qt::KeepAspectRatio)) << file;
        EXPECT_EQ(imagefile::read(path, QSize(), false).image.size(), QSize(300, 200)) << file << " as stored";
    }
}

// ---- JSON documents ------------------------------------------------------------------------

Json layer(const std::string& name, const char* cls, const std::string& inbound = {})
{
    Json rec = {{"name", name}, {"class_name", cls}, {"config", {{"name", name}}}, {"inbound_nodes", Json::array()}};
    if (!inbound.empty())
        rec["inbound_nodes"] = Json::array({Json::array({Json::array({inbound, 0, 0, Json::object()})})});
    return rec;
}

// input_1 -> a -> out, as changed by `change`.
Json chainWith(const std::function<void(Json&)>& change)
{
    Json layers = {layer("input_1", "InputLayer"), layer("a", "Dense", "input_1"), layer("out", "Dense", "a")};
    change(layers);
    return {{"class_name", "Functional"}, {"config", {{"name", "m"}, {"layers", layers}}}};
}

TEST(ArchitectureShape, IsCheckedBeforeTheEditorTakesIt)
{
    // "twice" is called twice, the second call reading b, which reads the first call: no cycle.
    const Json shared = chainWith([](Json& l) {
        l[1]["name"] = "twice";
        l[1]["inbound_nodes"].push_back(Json::parse(R"([["b",0,0,{}]])"));
        l[2] = layer("b", "Dense", "twice");
        l.push_back(layer("out", "Dense", "twice"));
        l[3]["inbound_nodes"][0][0][1] = 1;
    });
    const std::pair<Json, const char*> cases[] = {  // an empty problem: the document is sound
        {chainWith([](Json&) {}), ""},
        {chainWith([](Json& l) { l[2]["inbound_nodes"][0][0][0] = "gone"; }), ""},  // stale inbound names are allowed
        {shared, ""},
        {Json::parse("[1,2,3]"), "not a JSON object"},
        {Json::parse(R"({"config":null})"), "no config object"},
        {Json::parse(R"({"config":{"layers":{"a":1}}})"), "config.layers is not a list"},
        {chainWith([](Json& l) { l[1] = "a"; }), "layer 2 is \"a\", not a layer record"},
        {chainWith([](Json& l) { l[1]["name"] = 5; }), "layer 2 has no name text"},
        {chainWith([](Json& l) { l[1].erase("class_name"); }), "layer 'a' has no class_name"},
        {chainWith([](Json& l) { l[1]["config"] = nullptr; }), "layer 'a': its config is not an object"},
        {chainWith([](Json& l) { l[1]["inbound_nodes"] = "input_1"; }), "not a list of call nodes"},
        {chainWith([](Json& l) { l[1]["inbound_nodes"] = Json::parse(R"([["input_1",0,0,{}]])"); }),
         "call node 0 of its inbound_nodes holds \"input_1\""},
        {chainWith([](Json& l) { l[1]["inbound_nodes"][0][0][0] = 7; }), "holds [7,0,0,{}]"},
        {chainWith([](Json& l) { l[1]["inbound_nodes"][0][0][0] = "out"; }), "cycle: a -> out -> a"},
        {chainWith([](Json& l) { l[2]["inbound_nodes"][0][0][0] = "out"; }), "cycle: out -> out"},
    };
    for (const auto& [doc, expected] : cases) {
        const QString problem = archdoc::structureProblem(doc);
        EXPECT_TRUE(*expected ? problem.contains(QString::fromUtf8(expected)) : problem.isEmpty())
            << problem << " for " << doc.dump();
    }
}

TEST(ArchitectureShape, TenThousandLayerChainIsCheckedWithoutRecursion)
{
    Json layers = {layer("input_1", "InputLayer")};
    for (int i = 0; i < 10000; ++i)
        layers.push_back(layer("d" + std::to_string(i), "Dense", layers.back()["name"].get<std::string>()));
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
    EXPECT_EQ(jsonfile::nestingDepth(R"({"a":"[[[[\"{{{{","b":[{}]})"), 3);  // brackets in strings are text
}

TEST(WorkerOutput, ShowsTheEndReadably)
{
    QByteArray sixteen;
    QStringList lastFifteen;
    for (int i = 1; i <= 16; ++i) {
        sixteen += "line " + QByteArray::number(i) + "\n";
        if (i > 1)
            lastFifteen << QStringLiteral("line %1").arg(i);
    }
    const std::pair<QByteArray, QString> cases[] = {
        {"trainNN: epochs must be a positive whole number\n", "trainNN: epochs must be a positive whole number"},
        {sixteen.mid(sixteen.indexOf('\n') + 1), lastFifteen.join('\n')},  // fifteen lines as they are
        {sixteen, "...\n" + lastFifteen.join('\n')},
        {QByteArray(5000, 'x') + "END", "...\n" + QString(1997, 'x') + "END"},  // one endless line keeps its end
        {QByteArray("bad\0\x1b[1mbyte\xff", 13), QStringLiteral("bad\uFFFD\uFFFD[1mbyte\uFFFD")},
        {"", ""},
    };
    for (const auto& [output, shown] : cases)
        EXPECT_EQ(workerfailure::lastLines(output), shown);
}

}  // namespace
