#include "util/textutil.h"

#include <cmath>
#include <limits>

namespace textutil {

QList<QStringList> commaRecords(const QString& text)
{
    QList<QStringList> rows;
    const QStringList lines = text.split(QLatin1Char('\n'));
    rows.reserve(lines.size());
    for (const QString& line : lines)
        rows.append(line.split(QLatin1Char(',')));
    return rows;
}

QStringList getColumn(const QList<QStringList>& rows, int column)
{
    QStringList out;
    out.reserve(rows.size());
    for (const QStringList& row : rows)
        out.append(row.value(column));
    return out;
}

std::vector<float> floatArrayFromStrings(const QStringList& texts)
{
    std::vector<float> out;
    for (const QString& t : texts) {
        bool ok = false;
        const float v = t.toFloat(&ok);
        // toFloat accepts surrounding blanks; a number "as a whole" does not.
        if (ok && !t.isEmpty() && !t.front().isSpace() && !t.back().isSpace())
            out.push_back(v);
    }
    return out;
}

std::vector<int> intArrayFromFloats(const std::vector<float>& values)
{
    std::vector<int> out;
    out.reserve(values.size());
    for (float v : values)
        out.push_back(static_cast<int>(std::trunc(v)));
    return out;
}

std::optional<int> firstindexbeforestr(const QString& haystack, const QString& needle)
{
    if (needle.isEmpty())
        return std::nullopt;
    const qsizetype at = haystack.lastIndexOf(needle);
    if (at < 0)
        return std::nullopt;
    return int(at);
}

int leadingInt(const QString& text, bool* overflow)
{
    if (overflow)
        *overflow = false;
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t') || text[i] == QLatin1Char('\n')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    long long value = 0;
    bool big = false;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        if (value > (long long)std::numeric_limits<int>::max() + 1) {
            big = true;
            value = (long long)std::numeric_limits<int>::max() + 1;
        }
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min() || big) {
        if (overflow)
            *overflow = true;
        return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return int(value);
}

QString sizeText(int width, int height)
{
    return QStringLiteral("{%1, %2}").arg(width).arg(height);
}

namespace {
QString megabytes(qint64 bytes) { return QString::number(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB"); }

// Keras's way of showing a time left: "5s", "1:05", "1:02:03".
QString duration(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1s").arg(seconds);
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    if (seconds < 3600)
        return QStringLiteral("%1:%2").arg(seconds / 60).arg(two(seconds % 60));
    return QStringLiteral("%1:%2:%3").arg(seconds / 3600).arg(two(seconds / 60 % 60), two(seconds % 60));
}
}  // namespace

QString transferText(qint64 received, qint64 total, qint64 elapsedMs)
{
    if (total <= 0)
        return megabytes(received);
    QString text = megabytes(received) + QStringLiteral(" of ") + megabytes(total);
    if (elapsedMs >= 1000 && received > 0 && received < total) {
        const double left = double(total - received) * double(elapsedMs) / double(received) / 1000.0;
        text += QStringLiteral(", about %1 left").arg(duration(qint64(left + 0.5)));
    }
    return text;
}

}  // namespace textutil
