#include "data/ui/thumbnailloader.h"

#include "data/thumbnaildecoder.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <algorithm>

ThumbnailLoader::ThumbnailLoader(QObject* parent, qsizetype cacheBudgetBytes)
    : QObject(parent), m_cache(cacheBudgetBytes)
{
    m_threads = std::clamp(QThread::idealThreadCount(), 1, 8);
    m_pool.setMaxThreadCount(m_threads);
}

namespace {
// Thumbnails on screen all go to the pool at once, so the threads never wait for the GUI thread
// to hand out the next one; look-ahead work only fills idle threads.
constexpr int kOnScreenInFlight = 64;
}  // namespace

ThumbnailLoader::~ThumbnailLoader()
{
    m_pool.clear();
    m_pool.waitForDone();
}

const QImage* ThumbnailLoader::thumbnail(int row, const QString& path)
{
    if (const QImage* image = m_cache.find(path))
        return image;
    enqueue(Pending::OnScreen, row, path);
    return nullptr;
}

void ThumbnailLoader::prefetch(int row, const QString& path)
{
    if (!m_cache.contains(path))
        enqueue(Pending::Nearby, row, path);
}

void ThumbnailLoader::enqueue(Pending where, int row, const QString& path)
{
    const auto it = m_pending.constFind(path);
    if (it != m_pending.constEnd() && (it.value() == where || it.value() == Pending::Decoding || where == Pending::Nearby))
        return;
    // A prefetched row that came on screen is queued again in front; its old entry is skipped.
    m_pending.insert(path, where);
    (where == Pending::OnScreen ? m_onScreen : m_nearby).push_back({row, path});
    schedulePump();
}

void ThumbnailLoader::schedulePump()
{
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    // Not from inside a paint: decoding starts once the event loop runs again.
    QMetaObject::invokeMethod(this, &ThumbnailLoader::pump, Qt::QueuedConnection);
}

void ThumbnailLoader::setWindow(const photolayout::Window& window)
{
    if (window.known && !m_window.known)
        m_pool.setMaxThreadCount(m_threads);  // the list is on screen: decode at full speed
    m_window = window;
    m_sharedFirst = window.firstNearby;
    m_sharedLast = window.lastNearby;
    m_sharedKnown = window.known;
}

bool ThumbnailLoader::stillWanted(quint64 generation, int row) const
{
    return generation == m_sharedGeneration
           && (!m_sharedKnown || (row >= m_sharedFirst && row <= m_sharedLast));
}

void ThumbnailLoader::pump()
{
    m_pumpScheduled = false;
    Request next;
    while (m_inFlight < kOnScreenInFlight && takeNext(next, true))
        start(next);
    while (m_inFlight < m_threads && takeNext(next, false))
        start(next);
}

bool ThumbnailLoader::takeNext(Request& out, bool onScreenOnly)
{
    for (const Pending where : {Pending::OnScreen, Pending::Nearby}) {
        if (where == Pending::Nearby && onScreenOnly)
            break;
        std::deque<Request>& queue = where == Pending::OnScreen ? m_onScreen : m_nearby;
        while (!queue.empty()) {
            Request r = std::move(queue.front());
            queue.pop_front();
            auto it = m_pending.find(r.path);
            if (it == m_pending.end() || it.value() != where)
                continue;  // moved to the other queue, started already, or forgotten
            if (!m_window.isNearby(r.row)) {
                m_pending.erase(it);  // scrolled away; asked for again if it comes back
                continue;
            }
            it.value() = Pending::Decoding;
            out = std::move(r);
            return true;
        }
    }
    return false;
}

void ThumbnailLoader::start(const Request& request)
{
    ++m_inFlight;
    ++m_started;
    const quint64 generation = m_generation;
    const QSize box = photolayout::imageFrame().size();
    m_pool.start([this, generation, request, box] {
        // Scrolled away (or a new set) while waiting for a thread: leave it undecoded.
        const bool skipped = !stillWanted(generation, request.row);
        const QImage image = skipped ? QImage() : thumbnaildecoder::decode(request.path, box);
        QMetaObject::invokeMethod(
            this, [=] { finished(generation, request.path, skipped, image, request.row); }, Qt::QueuedConnection);
        {
            const QMutexLocker lock(&m_finishMutex);
            ++m_finishedPosted;
        }
        m_finishCondition.wakeAll();
    });
}

void ThumbnailLoader::takeFinished(QDeadlineTimer deadline)
{
    {
        QMutexLocker lock(&m_finishMutex);
        while (m_finishedPosted == m_finishedTaken && !deadline.hasExpired())
            m_finishCondition.wait(&m_finishMutex, deadline);
        m_finishedTaken = m_finishedPosted;
    }
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void ThumbnailLoader::finished(quint64 generation, const QString& path, bool skipped, const QImage& image, int row)
{
    --m_inFlight;
    if (generation == m_generation) {
        m_pending.remove(path);  // a skipped one is asked for again if it comes back on screen
        if (!skipped) {
            m_cache.insert(path, image);
            Q_EMIT thumbnailReady(row, path);
        }
    }
    pump();
}

void ThumbnailLoader::reset()
{
    m_sharedGeneration = ++m_generation;
    m_pending.clear();
    m_onScreen.clear();
    m_nearby.clear();
    m_cache.clear();
    setWindow(photolayout::Window{});
    // A new list is being laid out and painted; decoding its first screen alongside must not
    // take every core from the GUI thread.
    m_pool.setMaxThreadCount(std::max(1, m_threads - 1));
}

ThumbnailLoader::State ThumbnailLoader::state(const QString& path) const
{
    if (const QImage* image = m_cache.find(path))
        return image->isNull() ? State::Unreadable : State::Ready;
    const auto it = m_pending.constFind(path);
    if (it == m_pending.constEnd())
        return State::Absent;
    return it.value() == Pending::Decoding ? State::Decoding : State::Queued;
}
