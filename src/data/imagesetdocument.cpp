#include "data/imagesetdocument.h"

#include "data/labelimagescommand.h"

#include <QSet>

namespace {
const QString kUnlabelled = QStringLiteral("0");
}

ImageSetDocument::ImageSetDocument(QObject* parent) : QObject(parent) {}

QString ImageSetDocument::labelAt(int row) const
{
    return row >= 0 && row < m_names.size() ? m_set.data.value(m_names.at(row), kUnlabelled) : QString();
}

void ImageSetDocument::openPictures(const QStringList& paths)
{
    m_undo.clear();
    m_set.urlarray = paths;
    m_set.haspredict = false;
    m_names.clear();
    m_names.reserve(paths.size());
    m_set.data.reserve(m_set.data.size() + paths.size());
    for (const QString& path : paths) {
        m_names << imageset::storedName(path);
        m_set.data.insert(m_names.last(), kUnlabelled);
    }
    Q_EMIT picturesChanged();
    Q_EMIT changed();
}

void ImageSetDocument::restoreLabels(const QHash<QString, QString>& labels)
{
    m_undo.clear();
    m_set.data = labels;
    QList<int> rows;
    for (int row = 0; row < m_names.size(); ++row) {
        if (!m_set.data.contains(m_names.at(row)))
            m_set.data.insert(m_names.at(row), kUnlabelled);
        rows << row;
    }
    Q_EMIT labelsChanged(rows);
    Q_EMIT changed();
}

bool ImageSetDocument::labelRows(const QList<int>& rows, const QString& text, bool typed)
{
    QSet<int> valid;
    QSet<QString> names;
    std::vector<std::pair<QString, QString>> labels;
    for (int row : rows) {
        if (row < 0 || row >= m_names.size() || valid.contains(row))
            continue;
        valid.insert(row);
        const QString& name = m_names.at(row);
        if (!names.contains(name) && m_set.data.value(name, kUnlabelled) != text)
            labels.emplace_back(name, text);
        names.insert(name);
    }
    if (labels.empty())
        return false;
    m_undo.push(new LabelImagesCommand(*this, std::move(labels), int(valid.size()), typed));
    return true;
}

void ImageSetDocument::setPredictions(const QHash<QString, QString>& predictions)
{
    m_set.predictpoint = predictions;
    m_set.haspredict = true;
    Q_EMIT predictionsChanged();
}

void ImageSetDocument::swapLabels(std::vector<std::pair<QString, QString>>& labels)
{
    QSet<QString> names;
    for (auto& [name, label] : labels) {
        std::swap(m_set.data[name], label);
        names.insert(name);
    }
    Q_EMIT labelsChanged(rowsNamed(names));
    Q_EMIT changed();
}

QList<int> ImageSetDocument::rowsNamed(const QSet<QString>& names) const
{
    QList<int> rows;
    for (int row = 0; row < m_names.size(); ++row) {
        if (names.contains(m_names.at(row)))
            rows << row;
    }
    return rows;
}
