#pragma once

#include "training/trainingstrategy.h"
#include "worker/modelinfo.h"

#include <QString>
#include <QWidget>

class Prompter;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QSpinBox;

// The training strategy form: where the data, label document and starting weights are, batch
// size, epochs, optimizer, loss, the training share, four augmentation switches, how the model
// takes its input (pixel scaling, class names in output order), which epoch becomes the trained
// model, whether the run stops early, and for a pre-trained architecture whether only its new top
// learns. A fixed 400 x 1100 sheet laid out from its top-left corner; it keeps its fields current
// and nothing more. The training run reads strategy() after "Start!".
class strategysheetview : public QWidget {
    Q_OBJECT
public:
    // Slider positions per unit of training share: fine enough that the stored share keeps
    // more precision than the two decimals shown.
    static constexpr int kSliderSteps = 10000;

    // `startFolder` is where the three pickers open (the workspace).
    strategysheetview(Prompter& prompter, const QString& startFolder, QWidget* parent = nullptr);

    TrainingStrategy strategy() const;

    QLineEdit* imagefolder = nullptr;
    QLineEdit* trainingfolder = nullptr;
    QLineEdit* trainingdoc = nullptr;
    QLineEdit* weights = nullptr;
    QLineEdit* batchsize = nullptr;
    QLineEdit* trainingeporch = nullptr;
    QComboBox* optimizer = nullptr;
    QComboBox* lossfunction = nullptr;
    QString optimizesel = QStringLiteral("Adam");
    QString lossfuncsel = QStringLiteral("mean_squared_error");
    QSlider* trainvalidbar = nullptr;
    double trainratio = 0.6;
    QLabel* trainprop = nullptr;
    QLabel* validprop = nullptr;
    bool img_transfer = false;
    bool img_random = false;
    bool img_rotate = false;
    bool img_distort = false;

    QCheckBox* transfercheck = nullptr;
    QCheckBox* randomcheck = nullptr;
    QCheckBox* rotatecheck = nullptr;
    QCheckBox* distortcheck = nullptr;
    QLabel* transferimg = nullptr;
    QLabel* randomimg = nullptr;
    QLabel* rotateimg = nullptr;
    QLabel* distortimg = nullptr;

    // Only for a pre-trained architecture, where it starts checked: its ImageNet backbone stays
    // fixed and only a new top is trained.
    QCheckBox* trainonlytopcheck = nullptr;
    bool trainonlytop = false;
    void setPretrainedModel(bool pretrained);

    bool keepbestepoch = true;
    bool stopearly = false;
    QCheckBox* keepbestcheck = nullptr;
    QCheckBox* stopearlycheck = nullptr;
    QSpinBox* patience = nullptr;  // epochs without improvement; enabled while stopping early
    QComboBox* inputscaling = nullptr;
    QString inputscalingsel = QStringLiteral("div255");  // the chosen worker mode
    QLineEdit* classnames = nullptr;

    // Shows what a model records about how it is applied: its input scaling is selected, and
    // its class names are offered as the field's placeholder (typing names overrides them).
    void preselect(const ModelInfo& info);

    void comboBoxSelectionDidChange(QComboBox* box);
    void sliderfunc();
    void img_transfer_check();
    void img_random_check();
    void img_rotate_check();
    void img_distort_check();
    void keepbestepoch_check();
    void stopearly_check();
    void opentrainingfolder();
    void opentraininglabelcsv();
    void openweightsfolder();

Q_SIGNALS:
    // Weights were chosen; whoever can inspect the file may call preselect().
    void weightsChosen(const QString& path);

private:
    void commitinit();
    void buildPathRows();
    void buildRunRows();
    void buildAugmentationRows();
    void buildTransferRow();
    void buildEpochRows();
    void buildModelInputRows();
    QLineEdit* pathRow(const QString& caption, const QString& role, int y, int h);
    bool chooseInto(QLineEdit* field, const QString& title, bool files, bool directories);

    Prompter& m_prompter;
    QString m_startFolder;
};
