#include "results/predictions.h"

#include "util/textutil.h"

namespace predictions {
namespace {
constexpr int kRow = 2;
constexpr int kColumn = 3;
constexpr int kFileName = 4;
constexpr int kPrediction = 6;
}  // namespace

QList<QStringList> records(const QString& text)
{
    return textutil::commaRecords(text);
}

std::vector<TilePoint> tilePredictions(const QList<QStringList>& records)
{
    std::vector<TilePoint> out;
    for (const QStringList& fields : records) {
        if (fields.size() <= kPrediction || fields.at(kPrediction) != QLatin1String("1"))
            continue;
        bool rowOk = false;
        bool colOk = false;
        const int row = fields.at(kRow).toInt(&rowOk);
        const int col = fields.at(kColumn).toInt(&colOk);
        if (rowOk && colOk)
            out.push_back(TilePoint{row, col});
    }
    return out;
}

QHash<QString, QString> imagePredictions(const QList<QStringList>& records)
{
    QHash<QString, QString> out;
    for (const QStringList& fields : records) {
        if (fields.size() > kPrediction)
            out.insert(fields.at(kFileName), fields.at(kPrediction));
    }
    return out;
}

}  // namespace predictions
