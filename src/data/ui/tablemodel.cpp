#include "data/ui/tablemodel.h"

#include "dialogs/prompter.h"
#include "data/csvtable.h"

namespace {
// Laying out a megabyte-long cell on every repaint would stall the table; the editor still
// gets the whole text.
constexpr qsizetype kShownChars = 2000;

// The carriage return of a CRLF line stays in the last field's data (the workers get the file's
// text as it is) but is not shown: it would draw as a line break or a box.
QString shown(const QString& text)
{
    const QString visible = text.endsWith(QLatin1Char('\r')) ? text.chopped(1) : text;
    return visible.size() <= kShownChars ? visible : visible.left(kShownChars) + QChar(0x2026);
}
}  // namespace

// One cell typed anew, as a swap of its old and new text.
class EditCellCommand : public QUndoCommand {
public:
    EditCellCommand(TableModel& model, int row, int field, QString text)
        : m_model(model), m_row(row), m_field(field), m_text(std::move(text))
    {
        setText(QStringLiteral("Edit Cell"));
    }
    void undo() override { m_model.swapCell(m_row, m_field, m_text); }
    void redo() override { m_model.swapCell(m_row, m_field, m_text); }

private:
    TableModel& m_model;
    int m_row;
    int m_field;
    QString m_text;  // the text not in the table: the new one before redo, the old one after
};

TableModel::TableModel(QList<QStringList>& rows, Prompter& prompter, QObject* parent)
    : QAbstractTableModel(parent), m_rows(rows), m_prompter(prompter)
{
}

void TableModel::setRows(const QList<QStringList>& rows)
{
    beginResetModel();
    m_undo.clear();
    m_rows = rows;
    endResetModel();
}

int TableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(qMax<qsizetype>(0, m_rows.size() - 1));
}

int TableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || m_rows.isEmpty() ? 0 : int(m_rows.front().size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || m_rows.isEmpty() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const int field = csvtable::fieldIndex(m_rows.front(), index.column());
    const QString text = field < 0 ? QString() : csvtable::cellText(m_rows, index.row(), field);
    return role == Qt::DisplayRole ? shown(text) : text;
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && !m_rows.isEmpty())
        return shown(m_rows.front().value(section));
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const
{
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

bool TableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || m_rows.isEmpty())
        return false;
    const int field = csvtable::fieldIndex(m_rows.front(), index.column());
    if (field < 0)
        return false;
    const QString text = value.toString();
    if (!csvtable::isNumber(text)) {
        m_prompter.alert(QStringLiteral("Need to input numbers"));
        return false;
    }
    if (csvtable::cellText(m_rows, index.row(), field) != text)
        m_undo.push(new EditCellCommand(*this, index.row(), field, text));
    return true;
}

void TableModel::swapCell(int row, int field, QString& text)
{
    const QString old = csvtable::cellText(m_rows, row, field);
    csvtable::setCellText(m_rows, row, field, text);
    text = old;
    // Columns sharing a title show the same field, so the whole row may have changed.
    Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
}
