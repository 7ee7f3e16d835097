#include "data/ui/photomodel.h"

#include "data/imagesetdocument.h"
#include "data/photolayout.h"
#include "util/diagnostics.h"

#include <QFileInfo>
#include <algorithm>

using photoborder::PhotoEvent;

namespace {
const QString kUnlabelled = QStringLiteral("Label");  // what a thumbnail shows without a `data` entry
}

PhotoModel::PhotoModel(ImageSetDocument& document, QObject* parent) : QAbstractListModel(parent), m_document(document)
{
    connect(&document, &ImageSetDocument::labelsChanged, this, &PhotoModel::labelsChanged);
}

const ImageSet& PhotoModel::set() const { return m_document.set(); }

void PhotoModel::labelsChanged(const QList<int>& rows)
{
    if (rows.isEmpty() || m_count == 0)
        return;
    // One notice spanning the rows: a bulk label of thousands should not send thousands.
    const auto [low, high] = std::minmax_element(rows.begin(), rows.end());
    const int first = std::max(*low, 0);
    const int last = std::min(*high, m_count - 1);
    if (first <= last)
        Q_EMIT dataChanged(index(first), index(last), {LabelRole, Qt::EditRole});
}

void PhotoModel::reset()
{
    beginResetModel();
    m_count = int(set().urlarray.size());
    m_showPredictions = set().haspredict;
    m_photos.assign(size_t(m_count), Photo{});
    endResetModel();
}

void PhotoModel::reload(int first, int last)
{
    if (m_count != set().urlarray.size()) {
        reset();  // the list itself was replaced behind our back
        return;
    }
    m_showPredictions = set().haspredict;
    for (Photo& p : m_photos)
        p.filled = false;
    first = std::max(first, 0);
    last = std::min(last, m_count - 1);
    if (first <= last)
        Q_EMIT dataChanged(index(first), index(last));
}

int PhotoModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_count;
}

QString PhotoModel::pathAt(int row) const
{
    return row >= 0 && row < m_count && row < set().urlarray.size() ? set().urlarray.at(row) : QString();
}

QString PhotoModel::labelAt(int row) const
{
    return set().data.value(imageset::storedName(pathAt(row)), kUnlabelled);
}

QString PhotoModel::predictionAt(int row) const
{
    if (row < 0 || row >= m_count || !filled(row).hasprediction)
        return QString();
    return set().predictpoint.value(imageset::storedName(pathAt(row)) + QStringLiteral(".png"));
}

PhotoBorder PhotoModel::borderAt(int row) const
{
    return row >= 0 && row < m_count ? filled(row).border : PhotoBorder{};
}

QVariant PhotoModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_count)
        return QVariant();
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
    case NameRole: return imageset::baseName(pathAt(row));
    case Qt::EditRole:
    case LabelRole: return labelAt(row);
    case PathRole: return pathAt(row);
    case PredictionRole: return predictionAt(row);
    case BorderTintRole: return int(borderAt(row).tint);
    case BorderWidthRole: return double(borderAt(row).width);
    case Qt::ToolTipRole: return pathAt(row);
    default: return QVariant();
    }
}

bool PhotoModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= m_count || (role != LabelRole && role != Qt::EditRole))
        return false;
    const QString text = value.toString();
    diag::print("textfield changed", text);
    m_document.labelRows({index.row()}, text, true);
    return true;
}

Qt::ItemFlags PhotoModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

void PhotoModel::applyBorderEvent(int row, PhotoEvent event, photoborder::Highlight highlight)
{
    if (row < 0 || row >= m_count)
        return;
    Photo& photo = filled(row);
    photoborder::PhotoState state = stateOf(row, photo);
    state.highlight = highlight;
    photo.border = photoborder::borderAfter(event, state, photo.border);
}

photoborder::PhotoState PhotoModel::stateOf(int row, const Photo& photo) const
{
    photoborder::PhotoState state;
    state.hasprediction = photo.hasprediction;
    state.label = labelAt(row);
    if (photo.hasprediction)
        state.prediction = set().predictpoint.value(imageset::storedName(pathAt(row)) + QStringLiteral(".png"));
    state.selected = m_isSelected && m_isSelected(row);
    return state;
}

Photo& PhotoModel::filled(int row) const
{
    Photo& photo = m_photos[size_t(row)];
    if (photo.filled)
        return photo;
    // A thumbnail filled anew: a fresh view (no frame), then the prediction frame if predictions
    // exist, then the selection frame if it is selected.
    photo = Photo{};
    photo.filled = true;
    const QString path = pathAt(row);
    diag::print(path, QFileInfo(path).suffix());
    photo.hasprediction = m_showPredictions;
    const photoborder::PhotoState state = stateOf(row, photo);
    if (photo.hasprediction)
        photo.border = photoborder::borderAfter(PhotoEvent::AddBorder, state, photo.border);
    if (state.selected)
        photo.border = photoborder::borderAfter(PhotoEvent::SelectionChanged, state, photo.border);
    diag::print("preferred minimum size", photolayout::itemWidth, photolayout::itemHeight);
    return photo;
}
