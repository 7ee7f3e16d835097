#include "training/runoutcome.h"

#include <QRegularExpression>

void RunOutcome::feed(const QString& chunk)
{
    m_partial += chunk;
    qsizetype start = 0;
    for (qsizetype end = m_partial.indexOf(QLatin1Char('\n')); end >= 0; end = m_partial.indexOf(QLatin1Char('\n'), start)) {
        readLine(m_partial.mid(start, end - start));
        start = end + 1;
    }
    m_partial.remove(0, start);
    // A progress redraw replaces the text before it; an epoch of redraws is not kept whole.
    const qsizetype lastReturn = m_partial.lastIndexOf(QLatin1Char('\r'));
    if (lastReturn >= 0)
        m_partial.remove(0, lastReturn + 1);
}

void RunOutcome::readLine(const QString& line)
{
    static const QRegularExpression stopped(QStringLiteral("^Epoch (\\d{1,9}): early stopping$"));
    static const QRegularExpression kept(QStringLiteral("^kept epoch \\d+ of \\d+: .*$"));
    if (const QRegularExpressionMatch m = stopped.match(line); m.hasMatch())
        m_earlyStop = m.captured(1).toInt();
    else if (kept.match(line).hasMatch())
        m_kept = line;
}
