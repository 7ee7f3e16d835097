#include "worker/workerfailure.h"

#include <QStringList>

namespace workerfailure {

QString lastLines(const QByteArray& output, qsizetype limit)
{
    // Decoding only the tail keeps a flood of output cheap; a character cut in two at the
    // start turns into one replacement character.
    const QByteArray tail = output.size() > 4 * limit ? output.right(4 * limit) : output;
    QString text = QString::fromUtf8(tail).trimmed();
    for (QChar& ch : text) {
        if (ch.category() == QChar::Other_Control && ch != QLatin1Char('\n') && ch != QLatin1Char('\t'))
            ch = QChar::ReplacementCharacter;
    }
    bool cut = tail.size() < output.size();
    if (text.size() > limit) {
        text = text.right(limit);
        cut = true;
    }
    QStringList lines = text.split(QLatin1Char('\n'));
    if (cut && lines.size() > 1)
        lines.removeFirst();  // whole lines only
    if (lines.size() > kShownLines) {
        lines = lines.mid(lines.size() - kShownLines);
        cut = true;
    }
    return (cut ? QStringLiteral("...\n") : QString()) + lines.join(QLatin1Char('\n'));
}

QString describe(const WorkerResult& result)
{
    if (!result.started)
        return result.errorText;
    if (result.cancelled)
        return QStringLiteral("Cancelled.");
    const QString err = lastLines(result.standardError);
    if (result.crashed) {
        const QString crash = QStringLiteral("The worker crashed (signal %1).").arg(result.exitCode);
        return err.isEmpty() ? crash : crash + QLatin1Char('\n') + err;
    }
    return err.isEmpty() ? QStringLiteral("The worker ended with status %1 and no message.").arg(result.exitCode) : err;
}

}  // namespace workerfailure
