#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The CSV table as the table view shows it: plain comma splitting, header row first.
namespace csvtable {

struct ReadResult {
    std::optional<QString> text;  // absent when the file could not be read as text
    QString error;                // why, for the user
};

// The whole file as text. A byte-order mark decides the encoding; otherwise UTF-8, and bytes
// that are not UTF-8 are read as Latin-1. A file with NUL bytes and no UTF-16/32 mark is binary
// and is refused.
ReadResult readText(const QString& path);

// Rows split at every line feed, fields at every comma. No quoting and no trimming: a carriage
// return stays in the last field of its line. The empty row after a final line feed is dropped
// when the header has another field count; every row holding data is kept.
QList<QStringList> splitRows(const QString& text);

// The header position a table column reads and writes: the first header field equal to the
// column's title, so duplicate titles share the first one's data. -1 when out of range.
int fieldIndex(const QStringList& header, int column);

// Field `field` of data row `row` (rows[row + 1]); empty text when the row is shorter.
QString cellText(const QList<QStringList>& rows, int row, int field);

// Stores `value` into data row `row`, extending a short row with empty fields.
void setCellText(QList<QStringList>& rows, int row, int field, const QString& value);

// A cell edit is kept only when the whole text is a decimal number (no blanks, no grouping).
bool isNumber(const QString& text);

}  // namespace csvtable
