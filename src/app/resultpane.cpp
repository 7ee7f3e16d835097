#include "app/resultpane.h"

#include "app/panelayout.h"
#include "results/chartgeometry.h"
#include "results/ui/metricimageview.h"
#include "results/ui/realtimeimageview.h"
#include "results/ui/rotatedlabel.h"

#include <QImage>

using framing::placeBL;

namespace {
// White with black text, whatever the black work area around it would pass down.
void paintWhite(QWidget* view)
{
    view->setBackgroundRole(QPalette::Window);
    view->setForegroundRole(QPalette::WindowText);
    view->setAutoFillBackground(true);
    QPalette white = view->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    view->setPalette(white);
}
}  // namespace

ResultPane::ResultPane(QWidget* leftView, QWidget* parking, QObject* parent) : QObject(parent)
{
    m_resultView = panelayout::pane(leftView, QStringLiteral("resultView"));
    m_resultsource = framing::label(QString(), nullptr);
    m_resultsource->setAccessibleName(QString());  // assistive tools read the text itself
    m_resultsource->setObjectName(QStringLiteral("resultsource"));
    m_resultsource->setWordWrap(true);
    m_resultsource->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    placeBL(m_resultsource, m_resultView, 10, 480, 180, 100);

    m_blankview = new QWidget(parking);
    m_blankview->setObjectName(QStringLiteral("blankview"));
    m_painres = new RealTimeImageView(m_blankview);
    m_painres->hide();
    // The metrics image is drawn scaled to fit and anchored at the bottom-left corner.
    m_metricview = new MetricImageView(parking);
    m_metricview->setObjectName(QStringLiteral("metricview"));
}

void ResultPane::startRun(bool test, int epochs, const QSize& area)
{
    // A test has no epochs: its pane shows the state line alone, not an empty accuracy chart.
    ChartState& chart = m_painres->state;
    chart.colnum = epochs;
    chart.rownum = 100;
    chart.checkstate.insert(chart.checkstate.begin(), test ? 0 : 1);
    chart.train_x.clear();
    chart.train_y.clear();
    chart.valid_x.clear();
    chart.valid_y.clear();

    m_blankview->setFixedSize(area);
    paintWhite(m_blankview);
    placeBL(m_painres, m_blankview, 100, 10, chartgeometry::kChartWidth, 450);
    m_painres->update();

    delete m_trainingstate;
    m_trainingstate = framing::label(test ? QStringLiteral("Testing the model ......") : QStringLiteral("Prepare to train ......"), nullptr);
    m_trainingstate->setObjectName(QStringLiteral("trainingstate"));
    m_trainingstate->setAccessibleName(QString());  // assistive tools read the state itself
    m_trainingstate->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Tall enough for a test summary of three lines.
    placeBL(m_trainingstate, m_blankview, 100, 470, 450, 60);

    // The scale is one label for the life of the window; later runs reuse it.
    auto* scale = m_blankview->findChild<RotatedLabel*>();
    if (!scale)
        scale = new RotatedLabel(chartgeometry::accuracyScaleText());
    placeBL(scale, m_blankview, 60, 0, 40, 450);
    scale->setVisible(!test);
}

QWidget* ResultPane::metricview() const { return m_metricview; }

void ResultPane::setState(const QString& text)
{
    if (m_trainingstate)
        m_trainingstate->setText(text);
}

void ResultPane::showMetrics(const QImage& image, const QSize& area)
{
    m_metricview->setFixedSize(area);
    m_metricview->setImage(image);
}
