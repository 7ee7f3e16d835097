#pragma once

#include <QObject>
#include <QSize>

class QImage;
class QLabel;
class MetricImageView;
class QWidget;
class RealTimeImageView;

// The Result pane: which input the results belong to, and the work area views of a run: the
// live accuracy chart with the run's state line, and the metrics image.
class ResultPane : public QObject {
    Q_OBJECT
public:
    ResultPane(QWidget* leftView, QWidget* parking, QObject* parent = nullptr);

    QWidget* resultView() const { return m_resultView; }
    // Which input the results shown belong to; it stays when other data is opened.
    QLabel* resultsource() const { return m_resultsource; }
    // White; holds the chart and the state line.
    QWidget* blankview() const { return m_blankview; }
    RealTimeImageView* painres() const { return m_painres; }
    QLabel* trainingstate() const { return m_trainingstate; }
    QWidget* metricview() const;

    // A run starts: an empty chart of `epochs` epochs (none for a test) over `area`, and the
    // first state line.
    void startRun(bool test, int epochs, const QSize& area);
    void setState(const QString& text);
    void showMetrics(const QImage& image, const QSize& area);

private:
    QWidget* m_resultView = nullptr;
    QLabel* m_resultsource = nullptr;
    QWidget* m_blankview = nullptr;
    RealTimeImageView* m_painres = nullptr;
    QLabel* m_trainingstate = nullptr;
    MetricImageView* m_metricview = nullptr;
};
