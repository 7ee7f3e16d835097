#pragma once

#include <QStringList>
#include <QWidget>
#include <optional>

class QLabel;

// The box of one layer node: its name, class and inbound lines, drawn white with an orange
// border while the node is selected.
class NNnodeview : public QWidget {
    Q_OBJECT
public:
    explicit NNnodeview(QWidget* parent = nullptr);

    QLabel* classname = nullptr;
    QLabel* layername = nullptr;
    QLabel* inboundname = nullptr;
    // Kept for the row builders a node may one day show; nothing fills them yet.
    QWidget* convconfig = nullptr;
    QWidget* poolingconfig = nullptr;
    QWidget* inputsize = nullptr;
    QWidget* trainable = nullptr;
    QLabel* strides = nullptr;
    // The inbound layer names, each as "Name: <name>" so they compare with name lines.
    std::optional<QStringList> inboundlabel;

    void commoninit();
    void setBorderWidth(double width);
    double borderWidth() const { return m_borderWidth; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_borderWidth = 0;
};
