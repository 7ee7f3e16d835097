#include "results/predictions.h"

#include <array>

namespace predictions {
namespace {
constexpr int kRow = 2;
constexpr int kColumn = 3;
constexpr int kFileName = 4;
constexpr int kPrediction = 6;
using Fields = std::array<QStringView, kPrediction + 1>;

// The first seven fields of `line`; false when it has fewer. Field 6 ends at the next comma,
// so fields after it do not matter.
bool leadingFields(QStringView line, Fields& fields)
{
    qsizetype start = 0;
    for (int k = 0; k <= kPrediction; ++k) {
        const qsizetype comma = line.indexOf(QLatin1Char(','), start);
        if (comma < 0) {
            if (k < kPrediction)
                return false;
            fields[size_t(k)] = line.sliced(start);
            return true;
        }
        fields[size_t(k)] = line.sliced(start, comma - start);
        start = comma + 1;
    }
    return true;
}

// Calls `use` with the fields of every record that has at least seven, in file order. The
// header line, whose index cell is empty, is not a record.
template <typename Use>
void forEachRecord(QStringView text, Use use)
{
    Fields fields;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        const bool header = start == 0 && text.startsWith(QLatin1Char(','));
        if (!header && leadingFields(text.sliced(start, end - start), fields))
            use(fields);
        start = end + 1;
    }
}
}  // namespace

std::vector<TilePoint> tilePredictions(QStringView text)
{
    std::vector<TilePoint> out;
    forEachRecord(text, [&out](const Fields& fields) {
        if (fields[kPrediction] != QLatin1String("1"))
            return;
        bool rowOk = false;
        bool colOk = false;
        const int row = fields[kRow].toInt(&rowOk);
        const int col = fields[kColumn].toInt(&colOk);
        if (rowOk && colOk)
            out.push_back(TilePoint{row, col});
    });
    return out;
}

QHash<QString, QString> imagePredictions(QStringView text)
{
    QHash<QString, QString> out;
    forEachRecord(text, [&out](const Fields& fields) {
        out.insert(fields[kFileName].toString(), fields[kPrediction].toString());
    });
    return out;
}

QString tileListing(const std::vector<TilePoint>& tiles)
{
    QString text;
    text.reserve(qsizetype(tiles.size()) * 10);
    for (const TilePoint& tile : tiles) {
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += QString::number(tile.row) + QLatin1Char(' ') + QString::number(tile.col);
    }
    return text;
}

}  // namespace predictions
