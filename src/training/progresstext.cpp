#include "training/progresstext.h"

namespace progresstext {

std::optional<QString> progressText(const QString& chunk)
{
    const qsizetype lastReturn = chunk.lastIndexOf(QLatin1Char('\r'));
    const qsizetype start = lastReturn < 0 ? 0 : lastReturn + 1;
    const qsizetype s = chunk.indexOf(QLatin1Char('s'), start);
    if (s < 0)
        return std::nullopt;
    qsizetype end = s + 1;
    // An "s" found first inside "loss" means no ETA in seconds: cut back to the blank after
    // the ETA, dropping " - lo".
    if (end - 3 >= 0 && chunk.at(end - 3) == QLatin1Char('l'))
        end -= 6;
    // The range runs through `end` inclusive, so `end` must name a character of the redraw.
    if (end < start || end >= chunk.size())
        return std::nullopt;
    QString text = chunk.mid(start, end - start + 1);
    text.replace(QLatin1Char('.'), QLatin1Char('_'));
    return text;
}

int epochInProgress(int validationCount, int epochCount)
{
    return validationCount > epochCount ? validationCount - 1 : validationCount;
}

std::optional<QString> chunkProgress(const QString& chunk)
{
    if (chunk.isEmpty() || !chunk.contains(QStringLiteral("ETA")))
        return std::nullopt;
    return progressText(chunk);
}

QString stateText(int validationCount, int epochCount, const std::optional<QString>& progress)
{
    QString state = QStringLiteral("Training state in epoch ") + QString::number(epochInProgress(validationCount, epochCount))
                    + QStringLiteral(" \n");
    if (progress)
        state += *progress;
    return state;
}

}  // namespace progresstext
