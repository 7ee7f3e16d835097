#include "support/randomedits.h"

#include "session/sessionsnapshot.h"

#include <QDir>
#include <QFile>
#include <QImage>

namespace {

int pick(std::mt19937& random, int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); }

Json layerTemplate(const QString& className)
{
    static const Json templates =
        archdoc::readFile(QStringLiteral(KOLVARA_SOURCE_DIR "/resources/layertemplates.json")).json.value_or(Json());
    return archdoc::findTemplate(templates, className).value_or(Json());
}

}  // namespace

EditedDocuments::EditedDocuments(const QString& folder) : stacks{grid.undoStack(), pictures.undoStack(), architecture.undoStack()}
{
    QDir().mkpath(folder);
    QImage image(80, 60, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    const QString imagePath = folder + QStringLiteral("/field.png");
    image.save(imagePath);
    grid.openImage(imagePath, image);
    grid.restoreGrid(8, 6, true, {}, false);
    QStringList paths;
    for (const char* name : {"a/cat.png", "b/dog.jpg", "b/cat.jpg", "x,y.png"}) {
        paths << folder + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(QFileInfo(paths.last()).absolutePath());
        QFile(paths.last()).open(QIODevice::WriteOnly);
    }
    pictures.openPictures(paths);
    const ParseOutcome model = archdoc::readFile(QStringLiteral(KOLVARA_SOURCE_DIR "/resources/custommodel.json"));
    architecture.setDocument(model.json.value_or(Json()), true);
}

void EditedDocuments::randomStep(std::mt19937& random, bool undoRedo)
{
    auto tile = [&] { return TilePoint{pick(random, 7), pick(random, 9)}; };  // now and then outside the grid
    const int n = architecture.document().layerCount();
    switch (pick(random, undoRedo ? 10 : 8)) {
    case 0:
        grid.beginStroke(tile());
        for (int k = pick(random, 4); k > 0; --k)
            grid.extendStroke(tile());
        grid.endStroke();
        break;
    case 1: pick(random, 3) == 0 ? grid.reverse() : (void)grid.drawGrid(pick(random, 2) ? 8 : 4, pick(random, 2) ? 6 : 3); break;
    case 2:
    case 3: pictures.labelRows({pick(random, 5), pick(random, 5)}, QString::number(pick(random, 3))); break;
    case 4: architecture.insertLayer(layerTemplate(pick(random, 2) ? QStringLiteral("Dense") : QStringLiteral("Conv2D"))); break;
    case 5: architecture.removeLayer(pick(random, n)); break;
    case 6: architecture.exchangeLayers({pick(random, n), pick(random, n)}, pick(random, n)); break;
    case 7:
        architecture.updateLayer(pick(random, n), {{100, QStringLiteral("renamed_%1").arg(pick(random, 100))}, {9, QStringLiteral("7")}});
        break;
    case 8: stacks[pick(random, 3)]->undo(); break;
    default: stacks[pick(random, 3)]->redo(); break;
    }
}

QString EditedDocuments::state() const
{
    QHash<QString, QDateTime> times;
    session::Session s = session::capture(&grid, &pictures, &architecture, times);
    s.savedAt = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    s.inputs.clear();
    return QString::fromUtf8(session::toJson(s));
}
