#pragma once

#include <QList>
#include <QString>
#include <QWidget>

// The layer configuration panel, and the two-line rows inside it. Coordinates run from the top
// left. As the panel it is drawn white with a 2-point black border.
class popupview : public QWidget {
    Q_OBJECT
public:
    explicit popupview(QWidget* parent = nullptr);

    // One field per parameter the panel can show. The form reads and writes the layer record
    // itself, so these are never the source of a shown or stored value.
    QString layername;
    bool trainable = true;
    bool center = true;
    bool scale = true;
    QList<int> batch_input_shape{0, 0, 0};
    QList<int> kernel_size{0, 0};
    QList<int> strides{0, 0};
    QList<int> dilation_rate{0, 0};
    int filters = 0;
    QString activation;
    QString padding;
    QList<int> paddingconfig{0, 0};
    double momentum = 0.0;
    double epsilon = 0.0;
    int units = 1000;

    void setFramed(bool framed);
    bool isFramed() const { return m_framed; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_framed = false;
};
