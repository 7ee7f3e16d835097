#include "app/viewcontroller.h"

#include "ui/framing.h"
#include "dialogs/prompter.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/paintableimageview.h"
#include "model/architecturedocument.h"
#include "model/ui/nodecollection.h"
#include "session/sessionautosave.h"
#include "worker/processworker.h"
#include "util/diagnostics.h"
#include "util/workareageometry.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWheelEvent>

using framing::placeBL;

namespace {
constexpr int kLeftWidth = 200;
constexpr int kTopHeight = 58;
constexpr int kPaneHeight = 600;

QWidget* makePane(QWidget* parent, const QString& name)
{
    auto* pane = new QWidget(parent);
    pane->setObjectName(name);
    pane->setAccessibleName(name);
    pane->setFixedSize(kLeftWidth, kPaneHeight);
    pane->move(0, 0);
    pane->hide();
    return pane;
}

QWidget* makePanel(QWidget* pane, const QString& name, double x, double y, double w, double h)
{
    auto* panel = new QWidget;
    panel->setObjectName(name);
    panel->setFixedSize(int(w), int(h));
    placeBL(panel, pane, x, y, w, h);
    return panel;
}

QLabel* caption(const QString& text, QWidget* parent, double x, double y, double w, double h)
{
    QLabel* l = framing::label(text, parent);
    placeBL(l, parent, x, y, w, h);
    return l;
}
}  // namespace

ViewController::ViewController(Prompter& prompter, WorkerRunner& runner, QWidget* parent)
    : QWidget(parent), m_prompter(prompter), m_runner(runner)
{
    m_processRunner = std::make_unique<ProcessRunner>();
    m_monitored = m_processRunner.get();
    m_grid = new TileGridDocument(this);
    m_pictures = new ImageSetDocument(this);
    m_architecture = new ArchitectureDocument(this);
    m_parking = new QWidget(this);
    m_parking->hide();
    viewDidLoad();
}

const QImage& ViewController::singleImage() const { return m_grid->image(); }

ViewController::~ViewController()
{
    // The documents are the first children made, so they would go before the views that read
    // them: the views go first, and a run under way before them.
    delete m_session;
    delete m_autosave;
    delete multiimagecollection;
    delete nodecollectionView;
    delete testview;
}

void ViewController::viewDidLoad()
{
    buildWindowFrame();
    LabelViewBtn->setEnabled(false);
    TrainViewBtn->setEnabled(false);
    ResultViewBtn->setEnabled(false);

    imageview = new QWidget(m_parking);
    imageview->setObjectName(QStringLiteral("imageview"));
    imageview->setAutoFillBackground(true);
    QPalette black = imageview->palette();
    black.setColor(QPalette::Window, Qt::black);
    imageview->setPalette(black);
    auto* imageLayout = new QVBoxLayout(imageview);  // the tile grid view fills the image view
    imageLayout->setContentsMargins(0, 0, 0, 0);
    metricview = new QLabel(m_parking);
    metricview->setObjectName(QStringLiteral("metricview"));
    metricview->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    blankview = new QWidget(m_parking);
    blankview->setObjectName(QStringLiteral("blankview"));
    lastlabelview = new QWidget(m_parking);
    lasttrainview = new QWidget(m_parking);
    lastresultview = new QWidget(m_parking);

    buildLabelPane();
    buildTrainPane();
    buildResultPane();
    buildDataViews();
    buildBrowserViews();
    buildModelViews();
    buildSourceViews();
    buildTrainingViews();
    buildResultViews();
    buildTrainingSession();
    buildSessionKeeping();
}

void ViewController::setMonitoredRunner(MonitoredRunner& runner)
{
    m_monitored = &runner;
    delete m_session;  // it holds the runner it was made with; no run is under way yet
    buildTrainingSession();
}

void ViewController::buildWindowFrame()
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* top = new QWidget(this);
    top->setObjectName(QStringLiteral("toolbar"));
    top->setFixedHeight(kTopHeight);
    auto* topLayout = new QHBoxLayout(top);
    opendatabutton = framing::button(QStringLiteral("Open Data"), top);
    openmodelbutton = framing::button(QStringLiteral("Open Model"), top);
    exportbutton = framing::button(QStringLiteral("Export Results"), top);
    LabelViewBtn = framing::button(QStringLiteral("Label"), top);
    TrainViewBtn = framing::button(QStringLiteral("Train"), top);
    ResultViewBtn = framing::button(QStringLiteral("Result"), top);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (QPushButton* b : {LabelViewBtn, TrainViewBtn, ResultViewBtn}) {
        b->setCheckable(true);
        group->addButton(b);
        connect(b, &QPushButton::toggled, this, [this] { changeleftview(); });
    }
    for (QPushButton* b : {opendatabutton, openmodelbutton, exportbutton})
        topLayout->addWidget(b);
    topLayout->addStretch(1);
    for (QPushButton* b : {LabelViewBtn, TrainViewBtn, ResultViewBtn})
        topLayout->addWidget(b);
    connect(opendatabutton, &QPushButton::clicked, this, [this] { Opendata(); });
    connect(openmodelbutton, &QPushButton::clicked, this, [this] { Openmodel(); });
    connect(exportbutton, &QPushButton::clicked, this, [this] { outputresult(); });
    outer->addWidget(top);

    auto* body = new QHBoxLayout;
    body->setContentsMargins(0, 0, 0, 0);
    body->setSpacing(0);
    LeftView = new QWidget(this);
    LeftView->setObjectName(QStringLiteral("LeftView"));
    LeftView->setFixedWidth(kLeftWidth);
    RightView = new QWidget(this);
    RightView->setObjectName(QStringLiteral("RightView"));
    auto* rightLayout = new QVBoxLayout(RightView);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    scrollview = new QScrollArea(RightView);
    scrollview->setObjectName(QStringLiteral("scrollview"));
    scrollview->setAccessibleName(QStringLiteral("Work area"));
    scrollview->setBackgroundRole(QPalette::Dark);
    QPalette black = scrollview->palette();
    black.setColor(QPalette::Dark, Qt::black);
    scrollview->setPalette(black);
    scrollview->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    scrollview->viewport()->installEventFilter(this);
    scrollview->hide();
    rightLayout->addWidget(scrollview);
    body->addWidget(LeftView);
    body->addWidget(RightView, 1);
    outer->addLayout(body, 1);
}

void ViewController::buildLabelPane()
{
    labelView = makePane(LeftView, QStringLiteral("labelView"));

    singleimageview = makePanel(labelView, QStringLiteral("singleimageview"), 0, 350, 200, 200);
    gridcol = framing::field(QStringLiteral("10"), nullptr, QStringLiteral("Col"));
    gridrow = framing::field(QStringLiteral("10"), nullptr, QStringLiteral("Row"));
    caption(QStringLiteral("Col"), singleimageview, 10, 150, 40, 20);
    placeBL(gridcol, singleimageview, 50, 150, 50, 20);
    caption(QStringLiteral("Row"), singleimageview, 10, 120, 40, 20);
    placeBL(gridrow, singleimageview, 50, 120, 50, 20);
    labelviewtitle = caption(QStringLiteral("Label"), singleimageview, 10, 180, 200, 20);
    drawgridbutton = framing::button(QStringLiteral("Draw Grid!"), nullptr);
    placeBL(drawgridbutton, singleimageview, 30, 90, 100, 20);
    tilesize = caption(QStringLiteral("Tile size: "), singleimageview, 10, 30, 200, 20);
    reversebutton = framing::button(QStringLiteral("Reverse!"), nullptr);
    placeBL(reversebutton, singleimageview, 30, 60, 100, 20);
    // These two change with the image and the grid: assistive tools read their current text.
    labelviewtitle->setAccessibleName(QString());
    tilesize->setAccessibleName(QString());
    connect(drawgridbutton, &QPushButton::clicked, this, [this] { drawgrid(); });
    connect(reversebutton, &QPushButton::clicked, this, [this] { reversegrid(); });

    multiimageview = makePanel(labelView, QStringLiteral("multiimageview"), 0, 200, 200, 200);
    caption(QStringLiteral("Selected image label:"), multiimageview, 10, 150, 150, 20);
    imagelabelval = framing::field(QStringLiteral("0"), nullptr, QStringLiteral("Selected image label"));
    placeBL(imagelabelval, multiimageview, 150, 150, 20, 20);
    imagelabelbutton = framing::button(QStringLiteral("Label Images!"), nullptr);
    placeBL(imagelabelbutton, multiimageview, 30, 120, 100, 20);
    connect(imagelabelbutton, &QPushButton::clicked, this, [this] { labelmultiimage(); });
    // The two panels overlap; each takes the pointer only over its own controls, so that the
    // empty part of one never covers a control of the other ("Selected image label" lies under
    // the single-image panel's empty bottom).
    for (QWidget* panel : {singleimageview, multiimageview})
        panel->setMask(panel->childrenRegion());
}

void ViewController::buildTrainPane()
{
    trainView = makePane(LeftView, QStringLiteral("trainView"));

    pretrainmode = makePanel(trainView, QStringLiteral("pretrainmode"), 0, 350, 200, 200);
    QLabel* modelCaption = caption(QStringLiteral("Pre-trained model"), pretrainmode, 0, 100, 150, 20);
    modellist = new QComboBox;
    modellist->setAccessibleName(QStringLiteral("Pre-trained model"));
    placeBL(modellist, pretrainmode, 10, 70, 180, 20);
    modelCaption->setBuddy(modellist);  // names the box for assistive tools
    smalldatahint = caption(QString(), pretrainmode, 10, 28, 180, 40);
    smalldatahint->setWordWrap(true);
    smalldatahint->setObjectName(QStringLiteral("smalldatahint"));
    smalldatahint->hide();
    smalldatabutton = framing::button(QString(), nullptr);
    smalldatabutton->setObjectName(QStringLiteral("smalldatabutton"));
    placeBL(smalldatabutton, pretrainmode, 10, 4, 130, 20);
    smalldatabutton->hide();

    custommode = makePanel(trainView, QStringLiteral("custommode"), 0, 150, 200, 200);
    caption(QStringLiteral("Customize model"), custommode, 0, 180, 150, 20);
    newmodelbutton = framing::button(QStringLiteral("New Model"), nullptr);
    placeBL(newmodelbutton, custommode, 30, 150, 100, 20);
    QLabel* classCaption = caption(QStringLiteral("Add node class:"), custommode, 0, 120, 100, 20);
    nodeclass = new QComboBox;
    nodeclass->setAccessibleName(QStringLiteral("Add node class:"));
    nodeclass->setEnabled(false);
    placeBL(nodeclass, custommode, 0, 100, 180, 20);
    classCaption->setBuddy(nodeclass);
    modelgeneratebtn = framing::button(QStringLiteral("Gnerate ML Model"), nullptr);
    modelgeneratebtn->setEnabled(false);
    placeBL(modelgeneratebtn, custommode, 10, 70, 150, 20);
    connect(newmodelbutton, &QPushButton::clicked, this, [this] { buildcustommodel(); });
    connect(modelgeneratebtn, &QPushButton::clicked, this, [this] { generateMLModel(); });

    trainstrategy = makePanel(trainView, QStringLiteral("trainstrategy"), 0, 0, 200, 200);
    caption(QStringLiteral("Training Strategy"), trainstrategy, 0, 180, 150, 20);
    modeltrainbtn = framing::button(QStringLiteral("Strategy Config"), nullptr);
    placeBL(modeltrainbtn, trainstrategy, 10, 70, 150, 20);
    connect(modeltrainbtn, &QPushButton::clicked, this, [this] { strategyconfig(); });

    // The panels appear only once a model was opened (or the model picker was cancelled).
    for (QWidget* panel : {pretrainmode, custommode, trainstrategy})
        panel->hide();
}

void ViewController::buildResultPane()
{
    resultView = makePane(LeftView, QStringLiteral("resultView"));
    // Which input the results shown belong to; they stay when other data is opened.
    resultsource = framing::label(QString(), nullptr);
    resultsource->setAccessibleName(QString());  // assistive tools read the text itself
    resultsource->setObjectName(QStringLiteral("resultsource"));
    resultsource->setWordWrap(true);
    resultsource->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeBL(resultsource, resultView, 10, 480, 180, 100);
}

void ViewController::changeleftview()
{
    removesubviews(LeftView);
    if (LabelViewBtn->isChecked()) {
        labelView->show();
        if (lastlabelview)
            lastlabelview->update();
        if (inputdatatype == 2)
            reloadMultiImageBrowser();
        setDocumentView(lastlabelview);
    }
    if (TrainViewBtn->isChecked()) {
        updatesmalldatahint();
        trainView->show();
        trainView->raise();
        setDocumentView(lasttrainview);
    }
    if (ResultViewBtn->isChecked()) {
        resultView->show();
        resultView->raise();
        setDocumentView(lastresultview);
    }
}

void ViewController::removesubviews(QWidget* view)
{
    if (view == RightView) {
        if (QWidget* old = scrollview->takeWidget()) {
            old->hide();
            old->setParent(m_parking);
        }
        scrollview->hide();
        followShownPane();
        return;
    }
    for (QObject* child : view->children()) {
        if (auto* w = qobject_cast<QWidget*>(child))
            w->hide();
    }
}

void ViewController::setDocumentView(QWidget* view)
{
    if (!view)
        return;
    scrollview->show();
    if (scrollview->widget() == view) {
        view->show();
        followShownPane();
        return;
    }
    if (QWidget* old = scrollview->takeWidget()) {
        old->hide();
        old->setParent(m_parking);
    }
    // Views that scroll by themselves (tables, lists, the layer graph) fill the work area.
    const bool fills = view->inherits("QAbstractScrollArea") || view->property("fillsWorkArea").toBool();
    scrollview->setWidgetResizable(fills);
    scrollview->setWidget(view);
    view->show();
    followShownPane();
}

void ViewController::showInPane(QPushButton* button, QWidget*& last, QWidget* view)
{
    // The checked pane button always names what the work area shows.
    last = view;
    button->setEnabled(true);
    if (button->isChecked())
        setDocumentView(view);
    else
        button->setChecked(true);  // the pane switch shows `last`
}

QWidget* ViewController::documentView() const
{
    return scrollview->isVisible() || scrollview->widget() ? scrollview->widget() : nullptr;
}

QSize ViewController::windowSize() const
{
    const QWidget* w = window();
    if (!w)
        return size();
    // The menu bar is not part of the frame the panes are laid out in.
    QSize s = w->size();
    if (const auto* main = qobject_cast<const QMainWindow*>(w); main && main->menuWidget() && !main->menuWidget()->isHidden())
        s.rheight() -= main->menuWidget()->sizeHint().height();
    return s;
}

QSize ViewController::workAreaSize() const
{
    const QSize s = windowSize();
    return QSize(qMax(0, s.width() - kLeftWidth), qMax(0, s.height() - kTopHeight));
}

void ViewController::windowDidResize()
{
    const QSize W = windowSize();
    const QSize pane = workAreaSize();
    const double factor = workarea::scaleFactor(W.width(), W.height(), pane.width(), pane.height());
    diag::print("window resized", W.width(), W.height());
    diag::print("originsize", pane.width(), pane.height(), ", newsize", W.width(), W.height());
    diag::print("window load size ratio", factor);
    // The content follows the work area: scaling it by the window-to-pane ratio on every resize
    // made it larger than the area that shows it, cutting off the image's bottom rows.
    const QSizeF content(pane);
    resizeContentViews(content);
    diag::print("scrollview frame", 0, 0, content.width(), content.height());
}

void ViewController::magnify(double magnification)
{
    const QSizeF next(imageview->width() * (magnification + 1), imageview->height() * (magnification + 1));
    diag::print("newsize", next.width(), next.height());
    resizeContentViews(next);
}

bool ViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == scrollview->viewport() && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int notches = wheel->angleDelta().y() / 120;
            if (notches != 0)
                magnify(notches > 0 ? 0.1 : -0.1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ViewController::mousePressEvent(QMouseEvent* event)
{
    diag::print("mouse down", event->pointCount(), event->position().x(), event->position().y());
    QWidget::mousePressEvent(event);
}

void ViewController::resizeContentViews(const QSizeF& size)
{
    const QSize whole(qMax(1, int(size.width())), qMax(1, int(size.height())));
    imageview->setFixedSize(whole);
    metricview->setFixedSize(whole);
}
