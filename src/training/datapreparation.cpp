#include "training/datapreparation.h"

#include "data/imageset.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>

namespace datapreparation {
namespace {
// The CSV is unquoted: a typed label must not add fields or lines.
QString plainField(QString text)
{
    for (QChar& c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char('_');
    }
    return text;
}
}  // namespace

QString rootName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot >= 0 ? name.left(dot) : name;
}

QString tileFileName(const QString& root, int i, int j, int rows, int cols)
{
    const QString sep = (rows > 10 || cols > 10) ? QStringLiteral("_") : QString();
    return root + QLatin1Char('_') + QString::number(i) + sep + QString::number(j) + QStringLiteral(".png");
}

std::optional<QSize> tileSize(const std::optional<QSizeF>& imagesize, const std::optional<int>& rows,
                              const std::optional<int>& cols)
{
    if (!imagesize || !rows || !cols || *rows <= 0 || *cols <= 0)
        return std::nullopt;
    const int w = int(imagesize->width() / double(*cols));
    const int h = int(imagesize->height() / double(*rows));
    if (w <= 0 || h <= 0)
        return std::nullopt;
    return QSize(w, h);
}

QRect tileRectBL(int i, int j, const QSize& tile)
{
    return QRect(j * tile.width(), i * tile.height(), tile.width(), tile.height());
}

QRect toTopLeft(const QRect& bottomLeft, int imageHeight)
{
    return QRect(bottomLeft.x(), imageHeight - bottomLeft.y() - bottomLeft.height(), bottomLeft.width(),
                 bottomLeft.height());
}

std::vector<LabelRecord> gridRecords(const QString& root, int rows, int cols,
                                     const std::vector<TilePoint>& clickpoints, bool reversed)
{
    std::vector<LabelRecord> records;
    records.reserve(size_t(qMax(0, rows)) * size_t(qMax(0, cols)));
    int index = 1;
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            const bool marked = std::find(clickpoints.begin(), clickpoints.end(), TilePoint{i, j}) != clickpoints.end();
            const bool positive = marked != reversed;
            records.push_back({index++, i, j, tileFileName(root, i, j, rows, cols),
                               positive ? QStringLiteral("1") : QStringLiteral("0")});
        }
    }
    return records;
}

std::vector<FolderSample> folderSamples(const QStringList& urlarray)
{
    std::vector<FolderSample> samples;
    QSet<QString> seen;
    for (const QString& url : urlarray) {
        const QString name = imageset::storedName(url);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        samples.push_back({url, name});
    }
    return samples;
}

std::vector<LabelRecord> folderRecords(const std::vector<FolderSample>& samples,
                                       const QHash<QString, QString>& labels)
{
    std::vector<LabelRecord> records;
    records.reserve(samples.size());
    int index = 1;
    for (const FolderSample& s : samples) {
        records.push_back({index, index, index, s.storedName + QStringLiteral(".png"),
                           plainField(labels.value(s.storedName, QStringLiteral("0")))});
        ++index;
    }
    return records;
}

QByteArray labelCsvText(const std::vector<LabelRecord>& records)
{
    QByteArray text("index,i,j,filename,label\n");
    for (const LabelRecord& r : records) {
        text += QByteArray::number(r.index) + ',' + QByteArray::number(r.i) + ',' + QByteArray::number(r.j) + ','
            + r.filename.toUtf8() + ',' + r.label.toUtf8() + '\n';
    }
    return text;
}

bool keptByCleaning(const QString& name, bool isDirectory)
{
    if (isDirectory)
        return false;
    const QStringList parts = name.split(QLatin1Char('.'));
    return parts.size() >= 2 && parts.at(1) == QLatin1String("csv");
}

}  // namespace datapreparation
