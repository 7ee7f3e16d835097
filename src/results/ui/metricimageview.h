#pragma once

#include <QImage>
#include <QLabel>

// Shows an image scaled proportionally, up or down, to fit the view, anchored at the
// bottom-left corner. A missing image leaves the view empty.
class MetricImageView : public QLabel {
    Q_OBJECT
public:
    explicit MetricImageView(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // Where the image is drawn, in widget coordinates; empty when there is none.
    QRectF imageRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};
