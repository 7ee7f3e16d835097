#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace textutil {

// Column `column` of every row, in row order. Every row must hold that column.
template <typename Row>
auto getColumn(const std::vector<Row>& rows, int column) -> std::vector<std::decay_t<decltype(rows[0][0])>>
{
    std::vector<std::decay_t<decltype(rows[0][0])>> out;
    out.reserve(rows.size());
    for (const Row& row : rows)
        out.push_back(row[column]);
    return out;
}
QStringList getColumn(const QList<QStringList>& rows, int column);

// Every line of `text` split at each comma (no quoting: the files read this way are written
// without it).
QList<QStringList> commaRecords(const QString& text);

// Texts that parse as a whole decimal number, as single-precision values; others are dropped.
std::vector<float> floatArrayFromStrings(const QStringList& texts);

// Truncation toward zero; inputs are finite percentages.
std::vector<int> intArrayFromFloats(const std::vector<float>& values);

// Start of the last occurrence of `needle` in `haystack`; nullopt when absent or empty.
std::optional<int> firstindexbeforestr(const QString& haystack, const QString& needle);

// Leading decimal integer as C's atoi reads it: blanks, optional sign, digits; 0 without digits.
// Values beyond the 32-bit range are clamped and reported through `overflow`.
int leadingInt(const QString& text, bool* overflow = nullptr);

// "{w, h}" as the image size texts show it.
QString sizeText(int width, int height);

// "12.3 MB of 94.7 MB, about 1:05 left" for a transfer under way `elapsedMs` milliseconds;
// `total` below 0 when unknown. The time left is given once a second has passed.
QString transferText(qint64 received, qint64 total, qint64 elapsedMs);

}  // namespace textutil
