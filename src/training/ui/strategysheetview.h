#pragma once

#include "training/trainingstrategy.h"

#include <QWidget>

class QLineEdit;
class Prompter;

// Stand-in for the training strategy form until the real one is merged: the fields the
// training run reads, with their defaults, and nothing else.
class strategysheetview : public QWidget {
    Q_OBJECT
public:
    strategysheetview(Prompter& prompter, const QString& startFolder, QWidget* parent = nullptr);

    TrainingStrategy strategy() const;

    QLineEdit* imagefolder = nullptr;
    QLineEdit* trainingfolder = nullptr;
    QLineEdit* trainingdoc = nullptr;
    QLineEdit* weights = nullptr;
    QLineEdit* batchsize = nullptr;
    QLineEdit* trainingeporch = nullptr;
    QString optimizesel = QStringLiteral("Adam");
    QString lossfuncsel = QStringLiteral("mean_squared_error");
    double trainratio = 0.6;
    bool img_transfer = false;
    bool img_random = false;
    bool img_rotate = false;
    bool img_distort = false;
};
