#include "data/gridcounts.h"

#include "util/textutil.h"

#include <QRegularExpression>
#include <limits>

namespace gridcounts {

namespace {
// "2.5" reads as 2 like "2abc" does, but a user who typed it meant a fraction, not two.
bool fractional(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[+-]?\\d*[.,](\\d+)"));
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() && m.captured(1).contains(QRegularExpression(QStringLiteral("[1-9]")));
}

QString countProblem(const QString& what, const QString& text, int value, bool overflow)
{
    if (fractional(text))
        return QStringLiteral("The %1 count must be a whole number of at least 1; \"%2\" is not a whole number.").arg(what, text);
    if (overflow)
        return QStringLiteral("The %1 count \"%2\" is too large.").arg(what, text);
    if (value < 1)
        return QStringLiteral("The %1 count must be a whole number of at least 1; \"%2\" reads as %3.")
            .arg(what, text)
            .arg(value);
    return QString();
}
}  // namespace

GridCountsResult readGridCounts(const QString& colText, const QString& rowText, const QSize& imagePixels)
{
    GridCountsResult result;
    bool colOverflow = false;
    bool rowOverflow = false;
    const int cols = textutil::leadingInt(colText, &colOverflow);
    const int rows = textutil::leadingInt(rowText, &rowOverflow);
    result.error = countProblem(QStringLiteral("column"), colText, cols, colOverflow);
    if (result.error.isEmpty())
        result.error = countProblem(QStringLiteral("row"), rowText, rows, rowOverflow);
    if (!result.error.isEmpty())
        return result;
    const long long product = (long long)cols * rows;
    if (product > std::numeric_limits<int>::max()) {
        result.error = QStringLiteral("%1 columns by %2 rows make too many tiles.").arg(cols).arg(rows);
        return result;
    }
    if (cols > imagePixels.width()) {
        result.error = QStringLiteral("The image is %1 pixels wide; it cannot be cut into %2 columns.")
                           .arg(imagePixels.width())
                           .arg(cols);
        return result;
    }
    if (rows > imagePixels.height()) {
        result.error = QStringLiteral("The image is %1 pixels high; it cannot be cut into %2 rows.")
                           .arg(imagePixels.height())
                           .arg(rows);
        return result;
    }
    result.counts = GridCounts{cols, rows, int(product), QSize(imagePixels.width() / cols, imagePixels.height() / rows)};
    return result;
}

}  // namespace gridcounts
