#pragma once

#include "data/imageset.h"

#include <QList>
#include <QObject>
#include <QSet>
#include <QUndoStack>
#include <utility>
#include <vector>

// The pictures of a multi-image input with their labels and predictions. The thumbnail browser
// shows it and labels through it; labelling is undoable and announced with the rows it touched.
// Labels are kept by stored name, so pictures of the same name share one.
class ImageSetDocument : public QObject {
    Q_OBJECT
public:
    explicit ImageSetDocument(QObject* parent = nullptr);

    const ImageSet& set() const { return m_set; }
    const QStringList& pictures() const { return m_set.urlarray; }
    QString labelAt(int row) const;
    QUndoStack* undoStack() { return &m_undo; }

    // Newly opened pictures, each labelled "0"; labels of other pictures opened before stay.
    // Predictions are hidden and nothing before can be undone.
    void openPictures(const QStringList& paths);
    // The labels a saved session held, in place of every label now known.
    void restoreLabels(const QHash<QString, QString>& labels);

    // Gives the pictures at `rows` the label `text` as one undo step; false when no valid row's
    // label changes. `typed`: one keystroke of a label typed under a thumbnail, which joins the
    // step of the keystrokes before it on the same picture.
    bool labelRows(const QList<int>& rows, const QString& text, bool typed = false);

    // Predictions by stored name + ".png", as a run writes them.
    void setPredictions(const QHash<QString, QString>& predictions);

Q_SIGNALS:
    void picturesChanged();
    void labelsChanged(const QList<int>& rows);
    void predictionsChanged();
    // After any change of what the session keeps (not after predictions).
    void changed();

private:
    friend class LabelImagesCommand;
    // Swaps each (stored name, label) with the label held under that name.
    void swapLabels(std::vector<std::pair<QString, QString>>& labels);
    QList<int> rowsNamed(const QSet<QString>& names) const;

    ImageSet m_set;
    QStringList m_names;  // stored name of each row
    QUndoStack m_undo;
};
