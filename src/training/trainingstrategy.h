#pragma once

#include <QString>

// The values of the training strategy form, as the training run reads them after "Start!".
struct TrainingStrategy {
    QString imagefolder;    // test data path; must not be empty to start
    QString trainingfolder; // may be empty: then the run only predicts
    QString trainingdoc;    // training label document, may be empty
    QString weights;        // weights to start from, may be empty
    QString batchsize = QStringLiteral("4");
    QString trainingeporch = QStringLiteral("3");
    QString optimizesel = QStringLiteral("Adam");
    QString lossfuncsel = QStringLiteral("mean_squared_error");
    double trainratio = 0.6;
    bool img_transfer = false;
    bool img_random = false;
    bool img_rotate = false;
    bool img_distort = false;
    QString inputscaling = QStringLiteral("div255");  // how pixels become the network's input
    QString classnames;     // a foreign model's output order, comma-separated; may be empty
    bool keepbestepoch = true;  // the trained model is the epoch of the best validation accuracy
    bool stopearly = false;     // stop once validation accuracy stops improving
    int patience = 5;           // epochs without improvement before an early stop
    // A pre-trained architecture keeps its backbone fixed and trains only a new top.
    bool trainonlytop = false;
};
