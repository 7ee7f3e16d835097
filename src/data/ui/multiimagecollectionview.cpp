#include "data/ui/multiimagecollectionview.h"

#include "data/imagesetdocument.h"
#include "data/photolayout.h"
#include "data/ui/photolistview.h"
#include "data/ui/photomodel.h"
#include "data/ui/photoview.h"
#include "data/ui/thumbnailloader.h"
#include "util/diagnostics.h"

#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

using photoborder::Highlight;
using photoborder::PhotoEvent;

multiimagecollectionview::multiimagecollectionview(ImageSetDocument& document, QWidget* parent)
    : QWidget(parent), m_document(document)
{
    setObjectName(QStringLiteral("multiimagecollection"));
    setProperty("fillsWorkArea", true);  // the grid scrolls by itself
    m_loader = new ThumbnailLoader(this);
    m_model = new PhotoModel(m_document, this);
    m_delegate = new PhotoView(*m_loader, this);
    m_list = new PhotoListView(this);
    m_list->setItemDelegate(m_delegate);
    m_list->setModel(m_model);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);

    QItemSelectionModel* selection = m_list->selectionModel();
    m_model->setSelectionProbe([selection, this](int row) { return selection->isSelected(m_model->index(row)); });
    connect(selection, &QItemSelectionModel::selectionChanged, this, &multiimagecollectionview::selectionChanged);
    connect(m_list, &PhotoListView::pressed, this, &multiimagecollectionview::pressed);
    connect(m_list, &PhotoListView::released, this, &multiimagecollectionview::released);
    connect(m_list, &PhotoListView::painted, this, &multiimagecollectionview::painted);
    connect(m_loader, &ThumbnailLoader::thumbnailReady, this, &multiimagecollectionview::thumbnailReady);
    connect(&document, &ImageSetDocument::picturesChanged, this, &multiimagecollectionview::commoninit);
    connect(&document, &ImageSetDocument::predictionsChanged, this, &multiimagecollectionview::reload);
}

multiimagecollectionview::~multiimagecollectionview() = default;

void multiimagecollectionview::commoninit()
{
    // Rows of the previous set mean nothing in the new one.
    selsectedimage.clear();
    m_loader->reset();
    m_model->reset();
    // Not scrollToTop(): asking where a row is would lay out the whole list before it has its size.
    m_list->verticalScrollBar()->setValue(0);
    primeFirstPage();
}

void multiimagecollectionview::reload()
{
    if (m_model->rowCount() != m_document.pictures().size()) {
        commoninit();  // the list itself was replaced: its rows and selection mean nothing now
        return;
    }
    // Rows are filled again when painted; only those on screen need telling (telling the list
    // about all of them would move every item of a 100,000-image list).
    const photolayout::Window& window = m_list->window();
    m_model->reload(window.known ? window.firstVisible : 0, window.known ? window.lastVisible : -1);
    m_list->viewport()->update();
}

int multiimagecollectionview::firstScreenRows() const
{
    // The browser's own size is the best guess of the screen while its layout is still pending.
    const QSize area = size().expandedTo(QSize(1, 1));
    const QSize cell = photolayout::gridSize();
    return std::max(1, area.width() / cell.width()) * (area.height() / cell.height() + 1);
}

void multiimagecollectionview::primeFirstPage()
{
    // Start decoding what the first screen will show before the grid is even laid out.
    const int rows = std::min(firstScreenRows(), m_model->rowCount());
    for (int row = 0; row < rows; ++row)
        m_loader->thumbnail(row, m_model->pathAt(row));
    m_loader->startQueued();  // while the caller goes on opening
}

void multiimagecollectionview::showFirstScreen(QDeadlineTimer deadline)
{
    m_list->viewport()->repaint();
    m_loader->startQueued();  // what the paint found missing
    if (deadline.hasExpired() || visibleThumbnailsReady())
        return;
    while (m_loader->decoding() && !deadline.hasExpired() && !visibleThumbnailsReady())
        m_loader->takeFinished(deadline);
    m_list->viewport()->repaint();
}

void multiimagecollectionview::labelSelected(const QString& label)
{
    m_document.labelRows(selsectedimage, label);
}

void multiimagecollectionview::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QList<int> added;
    for (const QItemSelectionRange& range : selected)
        for (int row = range.top(); row <= range.bottom(); ++row)
            added.append(row);
    for (const QItemSelectionRange& range : deselected)
        for (int row = range.top(); row <= range.bottom(); ++row)
            m_model->applyBorderEvent(row, PhotoEvent::SelectionChanged);
    for (const int row : added)
        m_model->applyBorderEvent(row, PhotoEvent::SelectionChanged);
    m_list->viewport()->update();
    // Labelling reaches every thumbnail shown as selected, however it came to be selected
    // (click, Ctrl, Shift, rubber band), not only the rows of the latest callback.
    selsectedimage.clear();
    for (const QItemSelectionRange& range : m_list->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            selsectedimage.append(row);
    std::sort(selsectedimage.begin(), selsectedimage.end());
    if (!added.isEmpty())
        didSelectItems(added);
}

void multiimagecollectionview::didSelectItems(const QList<int>& rows)
{
    QStringList names;
    for (const int row : rows)
        names << QString::number(row);
    diag::print("select item at ", names);
}

void multiimagecollectionview::pressed(int row, bool wasSelected)
{
    m_model->applyBorderEvent(row, PhotoEvent::HighlightChanged,
                              wasSelected ? Highlight::ForDeselection : Highlight::ForSelection);
    repaintRow(row);
}

void multiimagecollectionview::released(int row)
{
    if (row >= 0) {
        m_model->applyBorderEvent(row, PhotoEvent::HighlightChanged, Highlight::None);
        repaintRow(row);
    }
}

void multiimagecollectionview::painted()
{
    const photolayout::Window& window = m_list->window();
    m_loader->setWindow(window);
    for (int row = window.firstNearby; row <= window.lastNearby; ++row)
        if (row < window.firstVisible || row > window.lastVisible)
            m_loader->prefetch(row, m_model->pathAt(row));
}

void multiimagecollectionview::thumbnailReady(int row, const QString& path)
{
    if (m_model->pathAt(row) == path)
        repaintRow(row);
}

void multiimagecollectionview::repaintRow(int row)
{
    m_list->viewport()->update(m_list->visualRect(m_model->index(row)));
}

bool multiimagecollectionview::visibleThumbnailsReady() const
{
    const photolayout::Window window = m_list->currentWindow();
    for (int row = window.firstVisible; row <= window.lastVisible; ++row) {
        const ThumbnailLoader::State state = m_loader->state(m_model->pathAt(row));
        if (state != ThumbnailLoader::State::Ready && state != ThumbnailLoader::State::Unreadable)
            return false;
    }
    return true;
}
