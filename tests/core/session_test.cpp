#include "session/sessionautosave.h"
#include "session/sessionsnapshot.h"
#include "support/randomedits.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using Json = nlohmann::ordered_json;

QByteArray fingerprint(const EditedDocuments& d) { return QCryptographicHash::hash(d.state().toUtf8(), QCryptographicHash::Md5).toHex(); }

// A session with every part: two marks, a label, an added layer.
session::Session edited(EditedDocuments& d)
{
    d.grid.toggleMark({1, 2});
    d.grid.toggleMark({0, 7});
    d.grid.reverse();
    d.pictures.labelRows({1}, QStringLiteral("cow"));
    d.architecture.insertLayer(*archdoc::findTemplate(d.architecture.json(), "Dense"));
    QHash<QString, QDateTime> times;
    return session::capture(&d.grid, &d.pictures, &d.architecture, times);
}

TEST(SessionFile, RestoresWhatWasSavedAndRefusesWhatIsNotWhollySound)
{
    const QString folder = testenv::freshFolder("roundtrip");
    EditedDocuments d(folder + QStringLiteral("/inputs"));
    const session::Session saved = edited(d);
    const QString path = folder + QStringLiteral("/session.json");
    ASSERT_EQ(session::write(path, saved), QString());
    const session::Reading reading = session::read(path);
    ASSERT_TRUE(reading.session) << reading.error.toStdString();
    EXPECT_EQ(reading.session->inputs.size(), 5u);
    EXPECT_EQ(reading.session->savedAt.toSecsSinceEpoch(), saved.savedAt.toSecsSinceEpoch());

    EditedDocuments other(folder + QStringLiteral("/other"));
    EXPECT_EQ(session::restore(*reading.session, &other.grid, &other.pictures, &other.architecture), QString());
    EXPECT_EQ(other.state(), d.state());
    EXPECT_EQ(other.grid.undoStack()->count(), 0);  // the restored state is where undo starts

    EXPECT_FALSE(session::read(folder + QStringLiteral("/none.json")).session);
    EXPECT_TRUE(session::read(folder + QStringLiteral("/none.json")).error.isEmpty());
    const Json good = Json::parse(session::toJson(saved).toStdString());
    using Spoil = std::function<void(Json&)>;
    const std::pair<Spoil, const char*> spoiled[] = {
        {[](Json& j) { j = Json::array(); }, "not a Kolvara session file"},
        {[](Json& j) { j["kolvara_session"] = 2; }, "version 2"},
        {[](Json& j) { j["saved_at"] = "yesterday"; }, "saved_at is not a date"},
        {[](Json& j) { j["tile_grid"]["marks"].push_back({6, 0}); }, "tile_grid.marks holds [6,0]"},
        {[](Json& j) { j["tile_grid"]["marks"].push_back({1, 2}); }, "tile_grid.marks holds [1,2]"},
        {[](Json& j) { j["tile_grid"]["columns"] = 0; }, "tile_grid.columns"},
        {[](Json& j) { j["image_set"]["labels"]["cat"] = 1; }, "the label of cat"},
        {[](Json& j) { j["inputs"].erase(0); }, "is not among its inputs"},
        {[](Json& j) { j["architecture"]["document"]["config"]["layers"][1]["inbound_nodes"] = 3; }, "its architecture: layer"},
    };
    for (const auto& [spoil, why] : spoiled) {
        Json j = good;
        spoil(j);
        const session::Reading refused = session::fromJson(QByteArray::fromStdString(j.dump()));
        EXPECT_FALSE(refused.session) << why;
        EXPECT_TRUE(refused.error.contains(QString::fromUtf8(why))) << refused.error.toStdString();
    }
    EXPECT_TRUE(session::fromJson("{\"kolvara_session\": 1,").error.contains("not JSON"));
    // A graph the user linked in a cycle is theirs to mend in the editor, not a reason to lose the session.
    Json cycle = good;
    cycle["architecture"]["document"]["config"]["layers"][1]["inbound_nodes"][0][0][0] = "block1_relu";
    EXPECT_TRUE(session::fromJson(QByteArray::fromStdString(cycle.dump())).session);
}

TEST(SessionFile, AChangedInputIsNamedAndStillRestorable)
{
    const QString folder = testenv::freshFolder("inputs");
    EditedDocuments d(folder);
    const session::Session saved = edited(d);
    EXPECT_TRUE(session::checkInputs(saved).restorable());
    EXPECT_TRUE(session::checkInputs(saved).changed.isEmpty());

    const QString picture = d.pictures.pictures().at(1);
    QFile touched(picture);
    ASSERT_TRUE(touched.open(QIODevice::Append));
    touched.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
    touched.close();
    EXPECT_EQ(session::checkInputs(saved).changed, QStringList{picture});
    EXPECT_TRUE(session::checkInputs(saved).restorable());  // a missing input is followed through the window's offer
}

TEST(SessionAutosave, SaysOnceThatItCannotWriteAndWritesAgainOnceItCan)
{
    const QString folder = testenv::freshFolder("unwritable");
    EditedDocuments d(folder + QStringLiteral("/inputs"));
    const QString blocked = folder + QStringLiteral("/blocked");
    SessionAutosave autosave(blocked + QStringLiteral("/session.json"), &d.grid, &d.pictures, &d.architecture);
    autosave.setDelay(0);
    QStringList told;
    QObject::connect(&autosave, &SessionAutosave::saveFailed, [&told](const QString& why) { told << why; });
    QFile(blocked).open(QIODevice::WriteOnly);  // a file where its folder should be
    d.grid.toggleMark({0, 0});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !autosave.pending(); }));
    d.grid.toggleMark({0, 1});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !autosave.pending(); }));
    EXPECT_EQ(told.size(), 1);
    QFile::remove(blocked);
    QDir().mkpath(blocked);
    d.grid.toggleMark({0, 2});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(autosave.path()); }));
    EXPECT_EQ(told.size(), 1);
}

// Run by the test below in a child process, which it kills: edits at random, printing a
// fingerprint of each state reached before the autosave can write it.
TEST(DISABLED_AutosaveChild, EditsUntilKilled)
{
    const QStringList args = qEnvironmentVariable("KOLVARA_AUTOSAVE_CHILD").split(QLatin1Char(';'));
    ASSERT_EQ(args.size(), 2);
    EditedDocuments d(args[0] + QStringLiteral("/inputs"));
    SessionAutosave autosave(args[0] + QStringLiteral("/session.json"), &d.grid, &d.pictures, &d.architecture);
    autosave.setDelay(0);
    std::mt19937 random(args[1].toUInt());
    auto report = [&d](const char* tag) {
        std::printf("%s %s\n", tag, fingerprint(d).constData());
        std::fflush(stdout);
    };
    report("S");
    ASSERT_EQ(autosave.saveNow(), QString());
    report("ready");
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        d.randomStep(random, true);
        report("S");
        QCoreApplication::processEvents();
    }
}

TEST(SessionAutosave, AKilledWindowLeavesASessionThatRestoresToAStateItReached)
{
    std::mt19937 random(20);
    for (int round = 0; round < 8; ++round) {
        const QString folder = testenv::freshFolder(QStringLiteral("killed%1").arg(round));
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KOLVARA_AUTOSAVE_CHILD"), folder + QLatin1Char(';') + QString::number(round));
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_also_run_disabled_tests"), QStringLiteral("--gtest_filter=DISABLED_AutosaveChild.*")});
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!out.contains("ready") && clock.elapsed() < 60000 && child.state() != QProcess::NotRunning) {
            child.waitForReadyRead(1000);
            out += child.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains("ready")) << out.toStdString() << child.readAllStandardError().toStdString();
        QTest::qWait(std::uniform_int_distribution<int>(5, 300)(random));
        child.kill();
        child.waitForFinished(5000);
        out += child.readAllStandardOutput();

        QSet<QByteArray> reached;
        for (const QByteArray& line : out.split('\n')) {
            if (line.startsWith("S "))
                reached.insert(line.mid(2));
        }
        const session::Reading reading = session::read(folder + QStringLiteral("/session.json"));
        ASSERT_TRUE(reading.session) << reading.error.toStdString();
        EditedDocuments restored(folder + QStringLiteral("/restored"));
        ASSERT_EQ(session::restore(*reading.session, &restored.grid, &restored.pictures, &restored.architecture), QString());
        EXPECT_TRUE(reached.contains(fingerprint(restored))) << "round " << round << " after " << reached.size() << " states";
    }
}

}  // namespace
