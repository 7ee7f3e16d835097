#include "training/runchecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace runchecks {
namespace {
constexpr int kShown = 5;  // classes named in a message; more are summed up

QString listed(const QStringList& names)
{
    QStringList shown = names.mid(0, kShown);
    for (QString& name : shown)
        name = QLatin1Char('"') + name + QLatin1Char('"');
    if (names.size() > kShown)
        shown << QStringLiteral("%1 more").arg(names.size() - kShown);
    return shown.join(QStringLiteral(", "));
}

// Lines without the carriage return a Windows editor leaves, and without the empty last line.
QList<QStringList> rowsOf(const QString& text)
{
    QList<QStringList> rows;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            rows << line.split(QLatin1Char(','));
    }
    return rows;
}
}  // namespace

QString trainingLabelDocument(const QString& trainingFolder, const QString& trainingDoc, const QString& labelDocument)
{
    if (!trainingDoc.isEmpty())
        return trainingDoc;
    const QDir folder(trainingFolder);
    if (!labelDocument.isEmpty() && QFileInfo(folder.filePath(labelDocument)).isFile())
        return folder.filePath(labelDocument);
    const QStringList found = folder.entryList({QStringLiteral("*_outputlabel.csv")}, QDir::Files);
    return found.size() == 1 ? folder.filePath(found.first()) : QString();
}

Labels labelsOf(const QString& path)
{
    Labels labels;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        labels.error = file.errorString();
        return labels;
    }
    const QList<QStringList> rows = rowsOf(QString::fromUtf8(file.readAll()));
    const int column = rows.isEmpty() ? -1 : int(rows.front().indexOf(QStringLiteral("label")));
    if (column < 0) {
        labels.error = QStringLiteral("%1 has no \"label\" column.").arg(path);
        return labels;
    }
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QString label = rows[r].value(column);
        ++labels.samples;
        if (!labels.distinct.contains(label))
            labels.distinct << label;
    }
    return labels;
}

std::optional<QString> singleClassProblem(const Labels& labels)
{
    if (!labels.error.isEmpty() || labels.distinct.size() > 1)
        return std::nullopt;
    if (labels.distinct.isEmpty())
        return QStringLiteral("The training label document lists no samples.");
    return QStringLiteral("Training needs at least two classes; all %1 samples are labelled %2.")
        .arg(labels.samples)
        .arg(listed(labels.distinct));
}

std::optional<QString> noMatchingClass(const QString& predictionText)
{
    const QList<QStringList> rows = rowsOf(predictionText);
    if (rows.isEmpty())
        return std::nullopt;
    const int label = int(rows.front().indexOf(QStringLiteral("label")));
    const int prediction = int(rows.front().indexOf(QStringLiteral("prediction")));
    if (label < 0 || prediction < 0)
        return std::nullopt;
    QStringList labels, predicted;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QString l = rows[r].value(label), p = rows[r].value(prediction);
        if (!labels.contains(l))
            labels << l;
        if (!predicted.contains(p))
            predicted << p;
    }
    for (const QString& p : predicted)
        if (labels.contains(p))
            return std::nullopt;
    if (predicted.isEmpty())
        return std::nullopt;
    return QStringLiteral("No prediction can match a label: the model predicts %1, the labels are %2.")
        .arg(listed(predicted), listed(labels));
}

}  // namespace runchecks
