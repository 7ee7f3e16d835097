#include "training/trainnncommand.h"

#include <QRegularExpression>

#include <algorithm>

namespace trainnn {
namespace {
QString flag(bool on) { return on ? QStringLiteral("true") : QStringLiteral("false"); }
}  // namespace

QString rootName(const QString& firstInput)
{
    QString last = firstInput;
    while (last.size() > 1 && last.endsWith(QLatin1Char('/')))
        last.chop(1);
    last = last.mid(last.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = last.indexOf(QLatin1Char('.'));
    return dot < 0 ? last : last.left(dot);
}

QString labelDocumentName(int inputdatatype, const QString& root)
{
    if (inputdatatype == 1)
        return root + QStringLiteral("_outputlabel.csv");
    if (inputdatatype == 2)
        return QStringLiteral("folderimage_outputlabel.csv");
    return QString();
}

std::optional<int> epochCount(const QString& text)
{
    static const QRegularExpression whole(QStringLiteral("^\\s*\\+?\\d+\\s*$"));
    if (!whole.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < 1)
        return std::nullopt;
    return value;
}

QStringList arguments(const Request& r)
{
    const TrainingStrategy& s = r.strategy;
    return {r.scriptPath,
            r.modelFile,
            r.workspace,
            s.trainingfolder,
            r.modelname,
            s.weights,
            s.batchsize,
            s.trainingeporch,
            s.optimizesel,
            s.lossfuncsel,
            r.resourceModelFile,
            r.labelDocument,
            QString::asprintf("%.2f", s.trainratio),
            flag(s.img_transfer),
            flag(s.img_random),
            flag(s.img_rotate),
            flag(s.img_distort),
            s.trainingdoc,
            r.inputScaling.isEmpty() ? s.inputscaling : r.inputScaling,
            s.classnames.trimmed(),
            flag(s.keepbestepoch),
            QString::number(s.stopearly ? std::max(s.patience, 1) : 0),
            r.networkMode};
}

QString networkMode(bool pretrainedBackbone, bool trainOnlyTop, bool randomWeights)
{
    if (!pretrainedBackbone)
        return QStringLiteral("full");
    return trainOnlyTop && !randomWeights ? QStringLiteral("top") : QStringLiteral("finetune");
}

}  // namespace trainnn
