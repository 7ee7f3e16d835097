#include "app/viewcontroller.h"

#include "app/labelpane.h"
#include "app/panelayout.h"
#include "app/resultpane.h"
#include "app/trainpane.h"

#include "ui/framing.h"
#include "dialogs/prompter.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/paintableimageview.h"
#include "model/architecturedocument.h"
#include "model/ui/nodecollection.h"
#include "results/ui/metricimageview.h"
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

using panelayout::kLeftWidth;
using panelayout::kTopHeight;

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
    delete m_labelPane;
    delete m_trainPane;
}

void ViewController::viewDidLoad()
{
    buildWindowFrame();
    LabelViewBtn->setEnabled(false);
    TrainViewBtn->setEnabled(false);
    ResultViewBtn->setEnabled(false);
    lastlabelview = new QWidget(m_parking);
    lasttrainview = new QWidget(m_parking);
    lastresultview = new QWidget(m_parking);

    m_labelPane = new LabelPane(*m_grid, *m_pictures, m_prompter, LeftView, m_parking, this);
    m_trainPane = new TrainPane(*m_architecture, m_prompter, LeftView, m_parking, this);
    m_resultPane = new ResultPane(LeftView, m_parking, this);
    connectPanes();
    buildDataViews();
    buildTrainingViews();
    buildTrainingSession();
    buildSessionKeeping();
}

void ViewController::connectPanes()
{
    const LabelPane& label = *m_labelPane;
    connect(label.drawgridbutton(), &QPushButton::clicked, this, [this] { drawgrid(); });
    connect(label.reversebutton(), &QPushButton::clicked, this, [this] { reversegrid(); });
    connect(label.imagelabelbutton(), &QPushButton::clicked, this, [this] { labelmultiimage(); });

    const TrainPane& train = *m_trainPane;
    connect(train.newmodelbutton(), &QPushButton::clicked, this, [this] { buildcustommodel(); });
    connect(train.modelgeneratebtn(), &QPushButton::clicked, this, [this] { generateMLModel(); });
    connect(train.modeltrainbtn(), &QPushButton::clicked, this, [this] { strategyconfig(); });
    connect(train.modellist(), &QComboBox::activated, this, [this] { comboBoxSelectionDidChange(m_trainPane->modellist()); });
    connect(train.smalldatabutton(), &QPushButton::clicked, this, [this] {
        QComboBox* list = m_trainPane->modellist();
        list->setCurrentIndex(list->findText(m_trainPane->smalldatabutton()->property("model").toString()));
        comboBoxSelectionDidChange(list);
    });
    connect(train.nodeclass(), &QComboBox::activated, this,
            [this](int index) { addnodeclass(m_trainPane->nodeclass()->itemText(index)); });
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

void ViewController::changeleftview()
{
    removesubviews(LeftView);
    if (LabelViewBtn->isChecked()) {
        m_labelPane->labelView()->show();
        if (lastlabelview)
            lastlabelview->update();
        if (inputdatatype == 2)
            reloadMultiImageBrowser();
        setDocumentView(lastlabelview);
    }
    if (TrainViewBtn->isChecked()) {
        updatesmalldatahint();
        m_trainPane->trainView()->show();
        m_trainPane->trainView()->raise();
        setDocumentView(lasttrainview);
    }
    if (ResultViewBtn->isChecked()) {
        m_resultPane->resultView()->show();
        m_resultPane->resultView()->raise();
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
    const QSizeF next(m_labelPane->imageview()->width() * (magnification + 1), m_labelPane->imageview()->height() * (magnification + 1));
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
    m_labelPane->imageview()->setFixedSize(whole);
    m_resultPane->metricview()->setFixedSize(whole);
}
