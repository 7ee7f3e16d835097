#pragma once


#include <QDeadlineTimer>
#include <QItemSelection>
#include <QList>
#include <QWidget>

class ImageSetDocument;
class PhotoListView;
class PhotoModel;
class PhotoView;
class ThumbnailLoader;

// The thumbnail browser of a multi-image input: a grid of 150 x 200 thumbnails of the picture set
// document it is given, with multi-selection and labels editable in place. It shows the
// document's pictures anew when they are replaced and its predictions when they arrive.
class multiimagecollectionview : public QWidget {
    Q_OBJECT
public:
    explicit multiimagecollectionview(ImageSetDocument& document, QWidget* parent = nullptr);
    ~multiimagecollectionview() override;

    // The rows selected now, ascending.
    QList<int> selsectedimage;

    // Shows the set's current `urlarray` anew: new rows, no selection, thumbnails decoded again.
    void commoninit();
    // Shows the current labels and predictions of the same rows.
    void reload();
    // How many rows the first screen of a new set shows, at the browser's present size.
    int firstScreenRows() const;
    // Paints the first screen at once and waits, until `deadline` at most, for its thumbnails,
    // painting them too: for a caller that holds up the event loop a while after opening.
    void showFirstScreen(QDeadlineTimer deadline);
    // Bulk labelling: gives every row of `selsectedimage` the label `label`, as one undo step.
    void labelSelected(const QString& label);

    PhotoListView* collectionView() const { return m_list; }
    PhotoModel& model() const { return *m_model; }
    ThumbnailLoader& loader() const { return *m_loader; }
    // Whether every thumbnail on screen has been decoded (or found unreadable).
    bool visibleThumbnailsReady() const;

private:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void didSelectItems(const QList<int>& rows);
    void pressed(int row, bool wasSelected);
    void released(int row);
    void painted();
    void thumbnailReady(int row, const QString& path);
    void primeFirstPage();
    void repaintRow(int row);

    ImageSetDocument& m_document;
    ThumbnailLoader* m_loader = nullptr;
    PhotoModel* m_model = nullptr;
    PhotoView* m_delegate = nullptr;
    PhotoListView* m_list = nullptr;
};
