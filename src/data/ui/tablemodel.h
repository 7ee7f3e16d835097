#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>
#include <QUndoStack>

class Prompter;

// The open CSV table (header row first) as a table: one column per header field, one row per
// data row. Edits accept numbers only; anything else is refused with an alert. Each accepted edit
// is a step of the table's undo stack; opening another table starts the stack afresh.
class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TableModel(QList<QStringList>& rows, Prompter& prompter, QObject* parent = nullptr);

    // Replaces the whole table (rows, columns and header).
    void setRows(const QList<QStringList>& rows);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    QUndoStack* undoStack() { return &m_undo; }

private:
    friend class EditCellCommand;
    // Puts `text` into the cell and keeps what it held in `text`.
    void swapCell(int row, int field, QString& text);

    QList<QStringList>& m_rows;
    Prompter& m_prompter;
    QUndoStack m_undo;
};
