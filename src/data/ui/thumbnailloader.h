#pragma once

#include "data/photolayout.h"
#include "data/thumbnailcache.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QThreadPool>
#include <QWaitCondition>
#include <atomic>
#include <deque>

// Decodes thumbnails on a pool of worker threads, the rows on screen first, then the rows a
// page around them, and keeps them in a bounded cache. Everything but the decoding itself runs
// on the GUI thread; results come back as queued calls.
class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    enum class State { Absent, Queued, Decoding, Ready, Unreadable };

    explicit ThumbnailLoader(QObject* parent = nullptr, qsizetype cacheBudgetBytes = 32 * 1024 * 1024);
    ~ThumbnailLoader() override;

    // The thumbnail of `path` shown in `row`, or nullptr while it is not decoded yet (it is then
    // queued as on screen). A null image for a file that cannot be read.
    const QImage* thumbnail(int row, const QString& path);
    // Rows worth decoding ahead of time, after those on screen.
    void prefetch(int row, const QString& path);
    // What is on screen and near it; queued rows outside are dropped when their turn comes.
    void setWindow(const photolayout::Window& window);
    // Starts what is queued now instead of when the event loop next runs. Not from a paint.
    void startQueued() { pump(); }
    // For a caller that holds up the event loop: waits until a decode finishes or `deadline`
    // passes, then takes in every finished decode as the event loop would have.
    void takeFinished(QDeadlineTimer deadline);
    // Whether decodes have started whose results were not taken in yet.
    bool decoding() const { return m_inFlight > 0; }

    // Forgets every thumbnail and request (a new set of images); running decodes are ignored.
    // Until the next window arrives (the list's first paint) one thread is left to the GUI.
    void reset();

    State state(const QString& path) const;
    const ThumbnailCache& cache() const { return m_cache; }
    int decodesStarted() const { return m_started; }

Q_SIGNALS:
    void thumbnailReady(int row, const QString& path);

private:
    struct Request {
        int row;
        QString path;
    };
    enum class Pending { Nearby, OnScreen, Decoding };
    void enqueue(Pending where, int row, const QString& path);
    void schedulePump();
    void pump();
    bool takeNext(Request& out, bool onScreenOnly);
    void start(const Request& request);
    void finished(quint64 generation, const QString& path, bool skipped, const QImage& image, int row);
    bool stillWanted(quint64 generation, int row) const;

    ThumbnailCache m_cache;
    QHash<QString, Pending> m_pending;  // queued or decoding, by path
    std::deque<Request> m_onScreen;
    std::deque<Request> m_nearby;
    photolayout::Window m_window;
    quint64 m_generation = 0;
    int m_inFlight = 0;
    int m_threads = 1;
    // What the decoding threads read to skip work that is no longer wanted.
    std::atomic<quint64> m_sharedGeneration{0};
    std::atomic<bool> m_sharedKnown{false};
    std::atomic<int> m_sharedFirst{0};
    std::atomic<int> m_sharedLast{-1};
    int m_started = 0;
    bool m_pumpScheduled = false;
    // Decodes finished on the pool and those taken in by takeFinished.
    QMutex m_finishMutex;
    QWaitCondition m_finishCondition;
    quint64 m_finishedPosted = 0;
    quint64 m_finishedTaken = 0;
    QThreadPool m_pool;  // last: destroyed (and waited for) first
};
