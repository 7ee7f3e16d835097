#pragma once

#include "data/tilegridstate.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QUndoStack>

// The single image being labelled, its grid, the marked tiles, the reverse flag and the
// predictions of the last run. The tile grid view draws from it and edits it only through the
// methods below; marking, drawing the grid and reversing are undoable, each announced afterwards.
class TileGridDocument : public QObject {
    Q_OBJECT
public:
    explicit TileGridDocument(QObject* parent = nullptr);

    // What the grid shows, for drawing and for preparing training data. Its view and draw sizes
    // belong to whoever draws; the document never reads or writes them.
    const TileGridState& state() const { return m_state; }
    const QImage& image() const { return m_image; }
    const QString& imagePath() const { return m_imagePath; }
    bool isMarked(TilePoint tile) const;
    bool inGrid(TilePoint tile) const;
    QUndoStack* undoStack() { return &m_undo; }

    // A newly opened image: no grid, no marks, no predictions; the counts and the reverse flag
    // stay. Nothing before it can be undone.
    void openImage(const QString& path, const QImage& image);

    // The grid, marks and reverse flag a saved session held for the image now open. Marks
    // outside that grid are dropped. Nothing before it can be undone.
    void restoreGrid(int cols, int rows, bool drawn, const std::vector<TilePoint>& marks, bool reversed);

    // Marks belong to the grid they were made on: the number of marks that drawing a grid of
    // these counts would clear (all of them unless the counts are those of the grid drawn now).
    int marksClearedBy(int cols, int rows) const;
    // Draws the grid, clearing marks and predictions made on other counts. False (nothing
    // changes) without an image or when a count is below 1 or above the image's pixels.
    bool drawGrid(int cols, int rows);

    // A press on a tile starts a stroke: it toggles that tile, and every tile the stroke goes on
    // to reach gets the same state. One stroke is one undo step. Tiles outside the grid are
    // ignored.
    void beginStroke(TilePoint tile);
    void extendStroke(TilePoint tile);
    void endStroke();
    void toggleMark(TilePoint tile);

    void reverse();

    // The tiles a run predicted "1"; shown until another image is opened or the grid redrawn.
    void setPredictions(const std::vector<TilePoint>& tiles);

Q_SIGNALS:
    void imageChanged();
    // The counts or the grid flag changed; marks and predictions may have gone with them.
    void gridChanged();
    void marksChanged(const QList<TilePoint>& tiles);
    void reversedChanged(bool reversed);
    void predictionsChanged();
    // After any change of what the session keeps (not after predictions).
    void changed();

private:
    friend class DrawGridCommand;
    friend class MarkTilesCommand;
    friend class ReverseGridCommand;

    // The part of the state that drawing a grid replaces.
    struct Grid {
        std::optional<int> colnum;
        std::optional<int> rownum;
        std::vector<int> gridstate{0};
        std::vector<TilePoint> marks;
        std::vector<TilePoint> predictions;
        bool hasprediction = false;
    };
    void swapGrid(Grid& other);
    void swapMarks(std::vector<TilePoint>& marks, const QList<TilePoint>& tiles);
    void swapReversed();
    void strokeTile(TilePoint tile);

    TileGridState m_state;
    QImage m_image;
    QString m_imagePath;
    QUndoStack m_undo;
    int m_stroke = 0;  // the stroke under way; 0 when none
    int m_strokes = 0;
    bool m_strokeMarks = false;
};
