#pragma once

#include <QStyledItemDelegate>

class ThumbnailLoader;

// Paints one thumbnail: the image fitted into the 150 x 150 area, the base name, the label
// field, the caption "Prediction", the prediction and the frame. Edits the label in place;
// every keystroke is stored.
class PhotoView : public QStyledItemDelegate {
    Q_OBJECT
public:
    PhotoView(ThumbnailLoader& loader, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the label field of the item at `itemRect` is, in the same coordinates.
    static QRect labelFieldRect(const QRect& itemRect);

private:
    // `left` and `right`: points kept clear of the text where the thumbnail's frame lies.
    void paintField(QPainter* painter, const QRect& rect, const QString& text, const QPalette& palette, int left,
                    int right) const;
    void commitEdit(QWidget* editor);

    ThumbnailLoader& m_loader;
};
