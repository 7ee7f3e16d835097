#pragma once

#include "data/imageset.h"
#include "data/photo.h"
#include "data/photoborder.h"

#include <QAbstractListModel>
#include <functional>
#include <vector>

class ImageSetDocument;

// The thumbnails of a picture set document, one row per picture. Label edits go to the document
// as undoable edits; rows are reported changed when the document says their labels changed.
// Each row's label, prediction and frame are taken from the set lazily, when the row is first
// asked for after a reload, so a list of 100,000 images opens without touching every entry.
class PhotoModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        PathRole = Qt::UserRole + 1,
        NameRole,        // base name, as shown
        LabelRole,       // the label from `data`; editable
        PredictionRole,  // empty unless the row was filled while predictions existed
        BorderTintRole,  // BorderTint as int
        BorderWidthRole,
    };

    explicit PhotoModel(ImageSetDocument& document, QObject* parent = nullptr);

    // A new list of images: every row anew.
    void reset();
    // Same images; labels, predictions and frames are taken from the set again. Rows `first` to
    // `last` are reported changed; the others are filled anew whenever they are next asked for.
    void reload(int first, int last);
    // Whether a row is selected; consulted when a row is filled so a selected row keeps its frame.
    void setSelectionProbe(std::function<bool(int)> probe) { m_isSelected = std::move(probe); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QString pathAt(int row) const;
    QString labelAt(int row) const;
    QString predictionAt(int row) const;
    PhotoBorder borderAt(int row) const;
    // Applies one framing event to the row; repaints are the caller's business.
    void applyBorderEvent(int row, photoborder::PhotoEvent event,
                          photoborder::Highlight highlight = photoborder::Highlight::None);

private:
    Photo& filled(int row) const;
    photoborder::PhotoState stateOf(int row, const Photo& photo) const;
    void labelsChanged(const QList<int>& rows);
    const ImageSet& set() const;

    ImageSetDocument& m_document;
    int m_count = 0;            // rows as of the last reset, whatever the set holds since
    bool m_showPredictions = false;  // the set's `haspredict` as of the last reset or reload
    mutable std::vector<Photo> m_photos;
    std::function<bool(int)> m_isSelected;
};
