#include "data/ui/photoview.h"

#include "data/photo.h"
#include "data/photolayout.h"
#include "data/ui/photomodel.h"
#include "data/ui/thumbnailloader.h"

#include <QLineEdit>
#include <QPainter>
#include <cmath>

namespace {
QRect place(const QRect& frame, const QRect& content)
{
    return frame.translated(content.topLeft());
}

QColor tintColor(BorderTint tint)
{
    return tint == BorderTint::Red ? QColor(Qt::red) : QColor(Qt::blue);
}
}  // namespace

PhotoView::PhotoView(ThumbnailLoader& loader, QObject* parent) : QStyledItemDelegate(parent), m_loader(loader) {}

QSize PhotoView::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return photolayout::cellHint();
}

QRect PhotoView::labelFieldRect(const QRect& itemRect)
{
    return place(photolayout::labelFrame(), photolayout::contentRect(itemRect));
}

void PhotoView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect content = photolayout::contentRect(option.rect);
    const QString path = index.data(PhotoModel::PathRole).toString();
    const auto tint = BorderTint(index.data(PhotoModel::BorderTintRole).toInt());
    const double width = index.data(PhotoModel::BorderWidthRole).toDouble();
    const bool framed = tint != BorderTint::None && width > 0;
    // The frame lies over the thumbnail's edges: texts along them start inside it.
    const int inset = framed ? int(std::ceil(width)) : 0;
    painter->save();
    if (const QImage* image = m_loader.thumbnail(index.row(), path); image && !image->isNull()) {
        const QRect area = place(photolayout::imageFrame(), content);
        painter->drawImage(photolayout::fittedRect(image->size(), area), *image);
    }
    const QPalette& palette = option.palette;
    paintField(painter, place(photolayout::nameFrame(), content), index.data(PhotoModel::NameRole).toString(), palette,
               inset, 0);
    paintField(painter, place(photolayout::labelFrame(), content), index.data(PhotoModel::LabelRole).toString(), palette,
               0, inset);
    painter->setPen(palette.color(QPalette::Text));
    painter->drawText(place(photolayout::captionFrame(), content).adjusted(2 + inset, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                      QStringLiteral("Prediction"));
    paintField(painter, place(photolayout::predictFrame(), content), index.data(PhotoModel::PredictionRole).toString(),
               palette, 0, inset);

    if (framed) {
        // The frame lies inside the thumbnail, as a layer border does.
        QPen pen(tintColor(tint), width);
        pen.setJoinStyle(Qt::MiterJoin);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(QRectF(content).adjusted(width / 2, width / 2, -width / 2, -width / 2));
    }
    painter->restore();
}

void PhotoView::paintField(QPainter* painter, const QRect& rect, const QString& text, const QPalette& palette, int left,
                           int right) const
{
    painter->setPen(palette.color(QPalette::Mid));
    painter->setBrush(palette.color(QPalette::Base));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->setPen(palette.color(QPalette::Text));
    const QRect inner = rect.adjusted(3 + left, 0, -3 - right, 0);
    painter->drawText(inner, Qt::AlignLeft | Qt::AlignVCenter,
                      painter->fontMetrics().elidedText(text, Qt::ElideRight, inner.width()));
}

QWidget* PhotoView::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const
{
    auto* editor = new QLineEdit(parent);
    editor->setAccessibleName(QStringLiteral("Label"));
    editor->setFrame(false);
    // Every keystroke reaches the label store, not only the finished edit.
    connect(editor, &QLineEdit::textEdited, this, [this, editor] { const_cast<PhotoView*>(this)->commitEdit(editor); });
    return editor;
}

void PhotoView::commitEdit(QWidget* editor)
{
    Q_EMIT commitData(editor);
}

void PhotoView::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    auto* field = static_cast<QLineEdit*>(editor);
    const QString text = index.data(PhotoModel::LabelRole).toString();
    if (field->text() != text)  // our own stores come back here; keep the cursor where it is
        field->setText(text);
}

void PhotoView::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const
{
    // Closing an untouched field stores nothing (a missing label must not become "Label").
    const QString text = static_cast<QLineEdit*>(editor)->text();
    if (text != index.data(PhotoModel::LabelRole).toString())
        model->setData(index, text, PhotoModel::LabelRole);
}

void PhotoView::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const
{
    editor->setGeometry(labelFieldRect(option.rect));
}
