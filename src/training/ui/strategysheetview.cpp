#include "training/ui/strategysheetview.h"

#include "ui/framing.h"
#include "dialogs/prompter.h"
#include "util/diagnostics.h"
#include "util/imageutil.h"
#include "worker/inputscaling.h"
#include "worker/paths.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

using framing::placeTL;

namespace {

const QStringList kOptimizers = {QStringLiteral("SGD"),     QStringLiteral("RMSprop"), QStringLiteral("Adam"),
                                 QStringLiteral("Adadelta"), QStringLiteral("Adagrad"), QStringLiteral("Adamax"),
                                 QStringLiteral("Nadam"),   QStringLiteral("Ftrl")};

const QStringList kLosses = {QStringLiteral("binary_crossentropy"),
                             QStringLiteral("categorical_crossentropy"),
                             QStringLiteral("sparse_categorical_crossentropy"),
                             QStringLiteral("poisson"),
                             QStringLiteral("kl_divergence"),
                             QStringLiteral("mean_squared_error"),
                             QStringLiteral("mean_absolute_error"),
                             QStringLiteral("mean_absolute_percentage_error"),
                             QStringLiteral("mean_squared_logarithmic_error"),
                             QStringLiteral("cosine_similarity"),
                             QStringLiteral("huber_loss"),
                             QStringLiteral("log_cosh")};

const QString kClassNamesHint = QStringLiteral("optional: comma-separated, in output order");

QString trainText(double share) { return QString::asprintf("Train Ratio\n %.2f", share); }
QString validText(double share) { return QString::asprintf("Valid Ratio\n %.2f", 1.0 - share); }

QLabel* caption(const QString& text, QWidget* parent, int x, int y, int w, int h)
{
    QLabel* l = framing::label(text, parent);
    placeTL(l, parent, x, y, w, h);
    return l;
}

QComboBox* chooser(const QStringList& items, const QString& shown, const QString& role)
{
    auto* box = new QComboBox;
    box->setEditable(false);
    box->addItems(items);
    box->setCurrentText(shown);
    box->setMaxVisibleItems(8);  // the rest scrolls
    box->setAccessibleName(role);
    return box;
}

// An illustration resource stretched to `size`, centred in its frame; blank when missing.
QLabel* illustration(const QString& name, const QSizeF& size, QWidget* parent, int x, int y, int w, int h)
{
    auto* view = new QLabel;
    view->setObjectName(name);
    view->setAccessibleName(name);
    view->setAlignment(Qt::AlignCenter);
    const QImage source(paths::resourcePath(name, QStringLiteral("png")));
    if (const auto scaled = imageutil::resized(source, size))
        view->setPixmap(QPixmap::fromImage(scaled->bitmap));
    placeTL(view, parent, x, y, w, h);
    return view;
}

}  // namespace

strategysheetview::strategysheetview(Prompter& prompter, const QString& startFolder, QWidget* parent)
    : QWidget(parent), m_prompter(prompter), m_startFolder(startFolder)
{
    setObjectName(QStringLiteral("strategysheetview"));
    setAccessibleName(QStringLiteral("Training Strategy Panel"));
    setFixedSize(400, 1100);
    commitinit();
}

void strategysheetview::commitinit()
{
    buildPathRows();
    buildRunRows();
    buildAugmentationRows();
    buildModelInputRows();
    buildEpochRows();
    buildTransferRow();
}

QLineEdit* strategysheetview::pathRow(const QString& text, const QString& role, int y, int h)
{
    caption(text, this, 5, y, 60, h);
    QLineEdit* field = framing::field(QString(), nullptr, role);
    field->setReadOnly(true);
    placeTL(field, this, 70, y, 250, h);
    return field;
}

void strategysheetview::buildPathRows()
{
    imagefolder = pathRow(QStringLiteral("Test\ndata"), QStringLiteral("Test data"), 0, 50);
    trainingfolder = pathRow(QStringLiteral("Training\n data"), QStringLiteral("Training data"), 75, 40);
    QPushButton* folderButton = framing::button(QStringLiteral("..."), nullptr);
    placeTL(folderButton, this, 350, 75, 50, 40);
    trainingdoc = pathRow(QStringLiteral("Training\n doc"), QStringLiteral("Training doc"), 110, 40);
    QPushButton* docButton = framing::button(QStringLiteral("..."), nullptr);
    placeTL(docButton, this, 350, 110, 50, 40);
    caption(QStringLiteral("Weights"), this, 5, 160, 50, 40);
    weights = framing::field(QString(), nullptr, QStringLiteral("Weights"));
    weights->setReadOnly(true);
    placeTL(weights, this, 70, 160, 250, 40);
    QPushButton* weightsButton = framing::button(QStringLiteral("..."), nullptr);
    placeTL(weightsButton, this, 350, 160, 50, 40);

    // Three buttons share the title "..."; the object name and description tell them apart.
    folderButton->setObjectName(QStringLiteral("opentrainingfolder"));
    docButton->setObjectName(QStringLiteral("opentraininglabelcsv"));
    weightsButton->setObjectName(QStringLiteral("openweightsfolder"));
    folderButton->setAccessibleDescription(QStringLiteral("Choose training data folder"));
    docButton->setAccessibleDescription(QStringLiteral("Choose training label document"));
    weightsButton->setAccessibleDescription(QStringLiteral("Choose weights"));
    connect(folderButton, &QPushButton::clicked, this, &strategysheetview::opentrainingfolder);
    connect(docButton, &QPushButton::clicked, this, &strategysheetview::opentraininglabelcsv);
    connect(weightsButton, &QPushButton::clicked, this, &strategysheetview::openweightsfolder);
}

void strategysheetview::buildRunRows()
{
    caption(QStringLiteral("Batch\nsize"), this, 5, 225, 60, 50);
    batchsize = framing::field(QStringLiteral("4"), nullptr, QStringLiteral("Batch size"));
    placeTL(batchsize, this, 70, 225, 60, 50);
    caption(QStringLiteral("Training\nEporch"), this, 150, 225, 60, 50);
    trainingeporch = framing::field(QStringLiteral("3"), nullptr, QStringLiteral("Training Eporch"));
    placeTL(trainingeporch, this, 220, 225, 60, 50);

    // Each box's caption is its label: assistive tools name the box by it and read the item
    // chosen as its value.
    QLabel* optimizerCaption = caption(QStringLiteral("Optimizer"), this, 5, 300, 80, 50);
    optimizer = chooser(kOptimizers, optimizesel, QStringLiteral("Optimizer"));
    placeTL(optimizer, this, 100, 300, 300, 50);
    optimizerCaption->setBuddy(optimizer);
    QLabel* lossCaption = caption(QStringLiteral("Loss\nFunction"), this, 5, 375, 80, 50);
    lossfunction = chooser(kLosses, lossfuncsel, QStringLiteral("Loss Function"));
    placeTL(lossfunction, this, 100, 375, 300, 50);
    lossCaption->setBuddy(lossfunction);
    connect(optimizer, &QComboBox::currentIndexChanged, this, [this] { comboBoxSelectionDidChange(optimizer); });
    connect(lossfunction, &QComboBox::currentIndexChanged, this, [this] { comboBoxSelectionDidChange(lossfunction); });

    caption(QStringLiteral("Adjust Training & Validation Ratio"), this, 100, 420, 230, 20);
    trainvalidbar = new QSlider(Qt::Horizontal);
    trainvalidbar->setAccessibleName(QStringLiteral("Adjust Training & Validation Ratio"));
    trainvalidbar->setRange(0, kSliderSteps);
    trainvalidbar->setValue(int(trainratio * kSliderSteps + 0.5));
    trainvalidbar->setSingleStep(kSliderSteps / 100);  // arrow keys move by 0.01, dragging is finer
    trainvalidbar->setPageStep(kSliderSteps / 10);
    trainvalidbar->setTickPosition(QSlider::NoTicks);
    trainvalidbar->setTracking(true);
    placeTL(trainvalidbar, this, 80, 440, 230, 50);
    connect(trainvalidbar, &QSlider::valueChanged, this, &strategysheetview::sliderfunc);
    trainprop = caption(trainText(trainratio), this, 5, 440, 75, 40);
    trainprop->setAccessibleName(QStringLiteral("Train Ratio"));
    validprop = caption(validText(trainratio), this, 320, 440, 75, 40);
    validprop->setAccessibleName(QStringLiteral("Valid Ratio"));
}

void strategysheetview::buildAugmentationRows()
{
    caption(QStringLiteral("--------------------Image Data Augmentation--------------------"), this, 5, 490, 400, 20);
    auto check = [this](const QString& title, int y, void (strategysheetview::*action)()) {
        auto* box = new QCheckBox(title);
        box->setAccessibleName(title);
        placeTL(box, this, 5, y, 400, 20);
        connect(box, &QCheckBox::clicked, this, action);
        return box;
    };
    transfercheck = check(QStringLiteral("Image Transfer (up,down,left,right)"), 510, &strategysheetview::img_transfer_check);
    transferimg = illustration(QStringLiteral("transferimg"), QSizeF(320, 80), this, 20, 530, 320, 80);
    randomcheck = check(QStringLiteral("Image Random Crops x 4"), 620, &strategysheetview::img_random_check);
    randomimg = illustration(QStringLiteral("randomimg"), QSizeF(320, 80), this, 20, 640, 320, 80);
    rotatecheck = check(QStringLiteral("Image Rotate in degrees"), 720, &strategysheetview::img_rotate_check);
    rotateimg = illustration(QStringLiteral("rotateimg"), QSizeF(270, 100), this, 20, 740, 320, 100);
    distortcheck = check(QStringLiteral("Image distorte x 4"), 840, &strategysheetview::img_distort_check);
    distortimg = illustration(QStringLiteral("distortimg"), QSizeF(320, 80), this, 20, 860, 320, 80);
}

void strategysheetview::buildTransferRow()
{
    trainonlytopcheck = new QCheckBox(QStringLiteral("Train only the new top layers"));
    trainonlytopcheck->setAccessibleName(QStringLiteral("Train only the new top layers"));
    trainonlytopcheck->setToolTip(QStringLiteral("Keeps the pre-trained backbone fixed and trains a new top for your classes: "
                                                 "fast, and good with few images. Off: everything is fine-tuned."));
    placeTL(trainonlytopcheck, this, 5, 1078, 400, 20);
    connect(trainonlytopcheck, &QCheckBox::toggled, this, [this](bool on) { trainonlytop = on; });
    setPretrainedModel(false);
}

void strategysheetview::setPretrainedModel(bool pretrained)
{
    trainonlytopcheck->setChecked(pretrained);
    trainonlytopcheck->setEnabled(pretrained);
    trainonlytop = pretrained;
}

void strategysheetview::buildEpochRows()
{
    constexpr int top = 1024;  // below the model input rows
    keepbestcheck = new QCheckBox(QStringLiteral("Keep the best epoch"));
    keepbestcheck->setAccessibleName(keepbestcheck->text());
    keepbestcheck->setToolTip(QStringLiteral("The trained model is the epoch with the highest validation accuracy, not the last"));
    keepbestcheck->setChecked(keepbestepoch);
    placeTL(keepbestcheck, this, 5, top, 400, 20);
    connect(keepbestcheck, &QCheckBox::clicked, this, &strategysheetview::keepbestepoch_check);

    stopearlycheck = new QCheckBox(QStringLiteral("Stopping early"));
    stopearlycheck->setAccessibleName(stopearlycheck->text());
    stopearlycheck->setToolTip(QStringLiteral("Stop when validation accuracy has not improved for this many epochs"));
    placeTL(stopearlycheck, this, 5, top + 25, 115, 24);
    connect(stopearlycheck, &QCheckBox::clicked, this, &strategysheetview::stopearly_check);
    caption(QStringLiteral("after"), this, 120, top + 25, 35, 24);
    patience = new QSpinBox;
    patience->setAccessibleName(QStringLiteral("Epochs without improvement"));
    patience->setRange(1, 9999);
    patience->setValue(TrainingStrategy().patience);
    patience->setEnabled(stopearly);
    placeTL(patience, this, 155, top + 25, 60, 24);
    caption(QStringLiteral("epochs without improvement"), this, 220, top + 25, 180, 24);
}

void strategysheetview::buildModelInputRows()
{
    caption(QStringLiteral("Input\nscaling"), this, 5, 950, 80, 32);
    inputscaling = new QComboBox;
    inputscaling->setAccessibleName(QStringLiteral("Input scaling"));
    for (const inputscaling::Choice& c : inputscaling::choices())
        inputscaling->addItem(c.title, c.mode);
    inputscaling->setCurrentIndex(inputscaling->findData(inputscalingsel));
    placeTL(inputscaling, this, 100, 950, 300, 32);
    connect(inputscaling, &QComboBox::currentIndexChanged, this, [this] { comboBoxSelectionDidChange(inputscaling); });

    caption(QStringLiteral("Class\nnames"), this, 5, 986, 80, 32);
    classnames = framing::field(QString(), nullptr, QStringLiteral("Class names"));
    classnames->setPlaceholderText(kClassNamesHint);
    placeTL(classnames, this, 100, 986, 300, 32);
}

void strategysheetview::preselect(const ModelInfo& info)
{
    const int recorded = inputscaling->findData(info.inputScaling);
    if (recorded >= 0)
        inputscaling->setCurrentIndex(recorded);
    classnames->setPlaceholderText(info.classNames.isEmpty()
                                       ? kClassNamesHint
                                       : QStringLiteral("recorded: ") + info.classNames.join(QStringLiteral(", ")));
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
    s.trainonlytop = trainonlytop;
    s.keepbestepoch = keepbestepoch;
    s.stopearly = stopearly;
    s.patience = patience->value();
    s.inputscaling = inputscalingsel;
    s.classnames = classnames->text();
    return s;
}

void strategysheetview::comboBoxSelectionDidChange(QComboBox* box)
{
    if (box == optimizer && optimizer->currentIndex() >= 0)
        optimizesel = optimizer->itemText(optimizer->currentIndex());
    if (box == lossfunction && lossfunction->currentIndex() >= 0)
        lossfuncsel = lossfunction->itemText(lossfunction->currentIndex());
    if (box == inputscaling && inputscaling->currentIndex() >= 0)
        inputscalingsel = inputscaling->currentData().toString();
}

void strategysheetview::sliderfunc()
{
    trainratio = double(trainvalidbar->value()) / kSliderSteps;
    diag::print("trainratio", trainratio);
    trainprop->setText(trainText(trainratio));
    validprop->setText(validText(trainratio));
}

void strategysheetview::img_transfer_check()
{
    img_transfer = !img_transfer;
    diag::print("img transfer", img_transfer);
}

void strategysheetview::img_random_check()
{
    img_random = !img_random;
    diag::print("img_random", img_random);
}

void strategysheetview::img_rotate_check()
{
    img_rotate = !img_rotate;
    diag::print("img_rotate", img_rotate);
}

void strategysheetview::img_distort_check()
{
    img_distort = !img_distort;
    diag::print("img_distort", img_distort);
}

void strategysheetview::keepbestepoch_check()
{
    keepbestepoch = !keepbestepoch;
    diag::print("keep best epoch", keepbestepoch);
}

void strategysheetview::stopearly_check()
{
    stopearly = !stopearly;
    patience->setEnabled(stopearly);
    diag::print("stop early", stopearly);
}

bool strategysheetview::chooseInto(QLineEdit* field, const QString& title, bool files, bool directories)
{
    const QStringList chosen = m_prompter.choosePaths(FileRequest{title, files, directories, false, false, m_startFolder});
    if (chosen.isEmpty())
        return false;
    field->setText(chosen.first());
    return true;
}

void strategysheetview::opentrainingfolder()
{
    chooseInto(trainingfolder, QStringLiteral("Choose training data folder"), false, true);
}

void strategysheetview::opentraininglabelcsv()
{
    chooseInto(trainingdoc, QStringLiteral("Choose training label document"), true, false);
}

void strategysheetview::openweightsfolder()
{
    if (chooseInto(weights, QStringLiteral("Choose training data folder"), true, true))
        Q_EMIT weightsChosen(weights->text());
}
