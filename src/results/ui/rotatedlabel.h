#pragma once

#include <QWidget>

// A text drawn turned a quarter turn counter-clockwise, centred, reading upward: the accuracy
// scale beside the chart. The widget is the rotated box, so it is as tall as the text is long.
class RotatedLabel : public QWidget {
    Q_OBJECT
public:
    explicit RotatedLabel(const QString& text, QWidget* parent = nullptr);
    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};
