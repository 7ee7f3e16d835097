#pragma once

#include "data/photolayout.h"

#include <QListView>

// The thumbnail grid. Besides what QListView does it starts label edits from a click on a
// thumbnail's label field, reports mouse presses and releases on thumbnails (they change the
// frame) and, after every paint, which rows are on screen.
class PhotoListView : public QListView {
    Q_OBJECT
public:
    explicit PhotoListView(QWidget* parent = nullptr);

    // Rows on screen and a page around them, as of the last paint.
    const photolayout::Window& window() const { return m_window; }
    // Computes the window from the current layout and scroll position.
    photolayout::Window currentWindow() const;
    bool isPressing() const { return m_pressing; }

Q_SIGNALS:
    void pressed(int row, bool wasSelected);
    void released(int row);
    void painted(const photolayout::Window& window);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    int columns() const;

    photolayout::Window m_window;
    int m_pressedRow = -1;
    bool m_pressing = false;
};
