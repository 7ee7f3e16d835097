#pragma once

#include "model/archdocument.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the layer configuration panel shows for one layer record: its rows, top to bottom,
// each with the panel tag of its first value field (further fields take the following tags).
namespace layerform {

enum class RowKind {
    Name,          // one text field
    Boolean,       // a "false"/"true" choice
    Activation,    // a choice among the activation names
    PaddingChoice, // a choice between "valid" and "same"
    Integer,       // one whole-number field
    Number,        // one decimal field
    Size,          // two or three whole-number fields separated by "x"
    PaddingArray,  // two pairs of whole numbers on two lines
    Inbound,       // two inbound-name fields on two lines
};

struct Row {
    RowKind kind = RowKind::Name;
    QString title;
    int tag = 0;
    bool editable = false;
    QStringList values;  // the texts to show, one per value field
};

// The rows for `layer`, config members in the record's own member order. Members of an
// unexpected JSON type, and unknown members, give no row.
QList<Row> rows(const Json& layer, bool customized);

// A number as a form shows it: whole values without a fraction, others in their shortest
// round-trip form; anything that is not a number gives an empty text.
QString integerText(const Json& value);
QString numberText(const Json& value);

}  // namespace layerform
