#include "session/sessionautosave.h"

#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "model/architecturedocument.h"
#include "session/sessionsnapshot.h"
#include "util/diagnostics.h"

SessionAutosave::SessionAutosave(const QString& path, TileGridDocument* grid, ImageSetDocument* pictures,
                                 ArchitectureDocument* architecture, QObject* parent)
    : QObject(parent), m_path(path), m_grid(grid), m_pictures(pictures), m_architecture(architecture)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(kDefaultDelayMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { saveNow(); });
    if (grid)
        connect(grid, &TileGridDocument::changed, this, &SessionAutosave::schedule);
    if (pictures)
        connect(pictures, &ImageSetDocument::changed, this, &SessionAutosave::schedule);
    if (architecture)
        connect(architecture, &ArchitectureDocument::changed, this, &SessionAutosave::schedule);
}

void SessionAutosave::schedule()
{
    if (!m_timer.isActive())
        m_timer.start();
}

QString SessionAutosave::saveNow()
{
    m_timer.stop();
    const QString failure = session::write(m_path, session::capture(m_grid, m_pictures, m_architecture, m_modified));
    if (failure.isEmpty()) {
        m_failing = false;
        return failure;
    }
    diag::print(failure);
    if (!m_failing)
        Q_EMIT saveFailed(failure);
    m_failing = true;
    return failure;
}
