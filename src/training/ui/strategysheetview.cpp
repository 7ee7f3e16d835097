#include "training/ui/strategysheetview.h"

#include <QFormLayout>
#include <QLineEdit>

strategysheetview::strategysheetview(Prompter&, const QString&, QWidget* parent) : QWidget(parent)
{
    setFixedSize(400, 1100);
    auto* form = new QFormLayout(this);
    auto add = [this, form](const QString& title, const QString& text) {
        auto* field = new QLineEdit(text, this);
        field->setAccessibleName(title);
        form->addRow(title, field);
        return field;
    };
    imagefolder = add(QStringLiteral("Test data"), QString());
    trainingfolder = add(QStringLiteral("Training data"), QString());
    trainingdoc = add(QStringLiteral("Training doc"), QString());
    weights = add(QStringLiteral("Weights"), QString());
    batchsize = add(QStringLiteral("Batch size"), QStringLiteral("4"));
    trainingeporch = add(QStringLiteral("Training Eporch"), QStringLiteral("3"));
}

TrainingStrategy strategysheetview::strategy() const
{
    TrainingStrategy s;
    s.imagefolder = imagefolder->text();
    s.trainingfolder = trainingfolder->text();
    s.trainingdoc = trainingdoc->text();
    s.weights = weights->text();
    s.batchsize = batchsize->text();
    s.trainingeporch = trainingeporch->text();
    s.optimizesel = optimizesel;
    s.lossfuncsel = lossfuncsel;
    s.trainratio = trainratio;
    s.img_transfer = img_transfer;
    s.img_random = img_random;
    s.img_rotate = img_rotate;
    s.img_distort = img_distort;
    return s;
}
