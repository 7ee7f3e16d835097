#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QStringList>

class Prompter;

// The open CSV table (header row first) as a table: one column per header field, one row per
// data row. Edits accept numbers only; anything else is refused with an alert.
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

private:
    QList<QStringList>& m_rows;
    Prompter& m_prompter;
};
