#pragma once

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

class ArchitectureDocument;
class ImageSetDocument;
class TileGridDocument;

// Writes the session file soon after the documents change: the first change after a write
// starts the wait, later ones do not prolong it, so a steady stream of edits is still saved
// every `delay`. Any document may be absent.
class SessionAutosave : public QObject {
    Q_OBJECT
public:
    SessionAutosave(const QString& path, TileGridDocument* grid, ImageSetDocument* pictures,
                    ArchitectureDocument* architecture, QObject* parent = nullptr);

    static constexpr int kDefaultDelayMs = 1000;
    void setDelay(int ms) { m_timer.setInterval(ms); }
    const QString& path() const { return m_path; }
    bool pending() const { return m_timer.isActive(); }

    // Writes the documents now; empty on success, else why.
    QString saveNow();

Q_SIGNALS:
    // The first of a run of failed writes: the user should know their work is not being kept.
    void saveFailed(const QString& why);

private:
    void schedule();

    QString m_path;
    TileGridDocument* m_grid;
    ImageSetDocument* m_pictures;
    ArchitectureDocument* m_architecture;
    QTimer m_timer;
    QHash<QString, QDateTime> m_modified;
    bool m_failing = false;
};
