#include "worker/workerfailure.h"

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
    if (text.size() <= limit && tail.size() == output.size())
        return text;
    text = text.right(limit);
    const qsizetype lineStart = text.indexOf(QLatin1Char('\n'));
    if (lineStart >= 0 && lineStart + 1 < text.size())
        text = text.mid(lineStart + 1);  // whole lines only
    return QStringLiteral("...\n") + text;
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
