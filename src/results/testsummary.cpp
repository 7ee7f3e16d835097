#include "results/testsummary.h"

#include <QStringList>

namespace testsummary {

QString fromOutput(const QByteArray& standardOutput)
{
    static const QString prefix = QStringLiteral("Test summary: ");
    QStringList found;
    // Progress redraws end in carriage returns; a summary line is whole on its own.
    for (QString line : QString::fromUtf8(standardOutput).split(QLatin1Char('\n'))) {
        while (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        const QString text = line.section(QLatin1Char('\r'), -1);
        if (text.startsWith(prefix))
            found << text.mid(prefix.size()).trimmed();
    }
    return found.join(QLatin1Char('\n'));
}

}  // namespace testsummary
