#include "session/sessionsnapshot.h"

#include "data/imagefile.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"

#include <QFileInfo>

namespace session {
namespace {

void addInput(Session& s, const QString& path, QHash<QString, QDateTime>& modified)
{
    auto known = modified.find(path);
    if (known == modified.end())
        known = modified.insert(path, QFileInfo(path).lastModified());
    s.inputs.push_back({path, *known});
}

}  // namespace

Session capture(const TileGridDocument* grid, const ImageSetDocument* pictures, const ArchitectureDocument* architecture,
                QHash<QString, QDateTime>& modified)
{
    Session s;
    s.savedAt = QDateTime::currentDateTime();
    if (grid && !grid->imagePath().isEmpty()) {
        const TileGridState& state = grid->state();
        s.tileGrid = TileGridPart{grid->imagePath(), state.colnum.value_or(0), state.rownum.value_or(0), state.hasGrid(),
                                  state.reversed(), state.clickpoints};
        addInput(s, grid->imagePath(), modified);
    }
    if (pictures && !pictures->pictures().isEmpty()) {
        s.imageSet = ImageSetPart{pictures->pictures(), pictures->set().data};
        for (const QString& path : pictures->pictures())
            addInput(s, path, modified);
    }
    if (architecture && !architecture->document().isEmpty())
        s.architecture = ArchitecturePart{architecture->customized(), architecture->json()};
    return s;
}

QString restore(const Session& session, TileGridDocument* grid, ImageSetDocument* pictures,
                ArchitectureDocument* architecture)
{
    QString problem;
    if (grid && session.tileGrid) {
        const TileGridPart& part = *session.tileGrid;
        const imagefile::Loaded loaded = imagefile::read(part.image, QSize(), false);
        if (loaded.image.isNull()) {
            problem = QStringLiteral("Cannot open the image at %1: %2").arg(part.image, loaded.error);
        } else {
            grid->openImage(part.image, loaded.image);
            grid->restoreGrid(part.columns, part.rows, part.drawn, part.marks, part.reversed);
        }
    }
    if (pictures && session.imageSet) {
        pictures->openPictures(session.imageSet->pictures);
        pictures->restoreLabels(session.imageSet->labels);
    }
    if (architecture && session.architecture)
        architecture->setDocument(session.architecture->document, session.architecture->customized);
    return problem;
}

}  // namespace session
