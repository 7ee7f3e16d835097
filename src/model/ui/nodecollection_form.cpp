// The layer configuration panel of the editor: built row by row from the selected layer.
#include "model/ui/nodecollection.h"

#include "ui/framing.h"
#include "model/catalogue.h"
#include "model/ui/nodecollectionview.h"
#include "model/ui/popupview.h"
#include "util/diagnostics.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>

namespace {

constexpr int kPanelX = 0;  // left of the nodes, which start 200 points in
constexpr int kPanelWidth = 200;
const char* const kTag = "tag";

// Rows that are popupviews run top-down; plain one-line rows hold their controls at the bottom.
// Controls stop short of the panel's right border.
void place(QWidget* child, QWidget* row, int x, int y, int w, int h)
{
    w = std::min(w, kPanelWidth - 2 - x);
    if (qobject_cast<popupview*>(row))
        framing::placeTL(child, row, x, y, w, h);
    else
        framing::placeBL(child, row, x, y, w, h);
}

QLabel* titleLabel(const QString& title, QWidget* row, int width)
{
    QLabel* label = framing::label(title, nullptr);
    label->setIndent(4);  // clear of the panel's border
    place(label, row, 0, 0, width, 20);
    return label;
}

void separator(QWidget* row, int x, int y)
{
    QLabel* x_ = framing::label(QStringLiteral("x"), nullptr);
    x_->setAlignment(Qt::AlignCenter);
    place(x_, row, x, y, 20, 20);
}

int tagOf(const QObject* control) { return control->property(kTag).toInt(); }

}  // namespace

QWidget* nodecollection::valueField(const QString& text, int viewtag, bool changeable, const QString& accessibleName)
{
    QWidget* field = nullptr;
    if (changeable) {
        auto* edit = framing::field(text, nullptr, accessibleName);
        edit->setTextMargins(0, 0, 0, 0);
        field = edit;
    } else {
        QLabel* label = framing::label(text, nullptr);
        label->setAccessibleName(accessibleName);
        field = label;
    }
    field->setProperty(kTag, viewtag);
    return field;
}

QComboBox* nodecollection::choiceBox(const QStringList& items, const QString& value, int viewtag, const QString& title)
{
    auto* box = new QComboBox;
    box->addItems(items);
    // A value outside the list is offered too, so that Update Layer keeps it rather than
    // silently storing the first choice.
    if (!items.contains(value))
        box->addItem(value);
    box->setCurrentText(value);
    box->setProperty(kTag, viewtag);
    box->setAccessibleName(title);
    return box;
}

void nodecollection::addname(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& name)
{
    titleLabel(title, view, 50);
    place(valueField(name, viewtag, changeable, title), view, 50, 0, 150, 20);
}

void nodecollection::addinputnode(const QString& title, int viewtag, QWidget* view, bool changeable,
                                  const QStringList& contents)
{
    titleLabel(title, view, 50);
    for (int k = 0; k < 2; ++k) {
        const QString text = k < contents.size() ? contents[k] : QString();
        place(valueField(text, viewtag + k, changeable, title + QLatin1Char(' ') + QString::number(k + 1)), view, 50,
              20 * k, 150, 20);
    }
}

void nodecollection::addChoiceRow(const QString& title, const QStringList& items, int viewtag, QWidget* view,
                                  bool changeable, const QString& value, int height)
{
    QLabel* label = titleLabel(title, view, 100);
    if (changeable) {
        QComboBox* box = choiceBox(items, value, viewtag, title);
        place(box, view, 100, 0, 100, height);
        label->setBuddy(box);  // names the box for assistive tools
    } else {
        place(valueField(value, 0, false, title), view, 100, 0, 100, height);
    }
}

void nodecollection::addtrainable(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value)
{
    addChoiceRow(title, catalogue::booleanChoices(), viewtag, view, changeable, value, 25);
}

void nodecollection::addactivation(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value)
{
    addChoiceRow(title, catalogue::activationChoices(), viewtag, view, changeable, value, 20);
}

void nodecollection::addpaddingchoice(const QString& title, int viewtag, QWidget* view, bool changeable,
                                      const QString& value)
{
    addChoiceRow(title, catalogue::paddingChoices(), viewtag, view, changeable, value, 20);
}

void nodecollection::makefiltersize(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value)
{
    titleLabel(title, view, 100);
    place(valueField(value, viewtag, changeable, title), view, 100, 0, 40, 20);
}

void nodecollection::addepsilon(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value)
{
    titleLabel(title, view, 100);
    place(valueField(value, viewtag, changeable, title), view, 100, 0, 100, 20);
}

void nodecollection::makeinputsize(const QString& title, int viewtag, QWidget* view, bool changeable,
                                   const QStringList& values)
{
    if (values.size() != 2 && values.size() != 3)
        return;
    const bool three = values.size() == 3;
    titleLabel(title, view, three ? 80 : 100);
    const int firstX = three ? 80 : 100;
    for (int k = 0; k < values.size(); ++k) {
        if (k > 0)
            separator(view, firstX + 50 * k - 20, 0);
        QWidget* field = valueField(values[k], viewtag + k, changeable, title + QLatin1Char(' ') + QString::number(k + 1));
        if (auto* edit = qobject_cast<QLineEdit*>(field); edit && three)
            connect(edit, &QLineEdit::editingFinished, this, [this, edit] { controlTextDidEndEditing(edit); });
        place(field, view, firstX + 50 * k, 0, three && k == 2 ? 20 : 30, 20);
    }
}

void nodecollection::addpadding(const QString& title, int viewtag, QWidget* view, bool changeable, const QStringList& values)
{
    titleLabel(title, view, 100);
    for (int line = 0; line < 2; ++line) {
        for (int k = 0; k < 2; ++k) {
            const int index = line * 2 + k;
            if (k > 0)
                separator(view, 130, 20 * line);
            const QString text = index < values.size() ? values[index] : QString();
            place(valueField(text, viewtag + index, changeable, title + QLatin1Char(' ') + QString::number(index + 1)),
                  view, 100 + 50 * k, 20 * line, 30, 20);
        }
    }
}

void nodecollection::controlTextDidEndEditing(QLineEdit* field)
{
    diag::print("changed value is ", field->text(), tagOf(field));
}

void nodecollection::addRow(const layerform::Row& row, int& y)
{
    using layerform::RowKind;
    const bool twoLines = row.kind == RowKind::PaddingArray || row.kind == RowKind::Inbound;
    QWidget* view = twoLines ? new popupview(layerconfig) : new QWidget(layerconfig);
    const int height = row.kind == RowKind::Name ? 20 : twoLines ? 40 : 30;
    const int width = row.kind == RowKind::Name || row.kind == RowKind::Boolean ? 200 : 300;
    view->setGeometry(0, y, width, height);
    const QString value = row.values.value(0);
    switch (row.kind) {
    case RowKind::Name: addname(row.title, row.tag, view, row.editable, value); break;
    case RowKind::Boolean: addtrainable(row.title, row.tag, view, row.editable, value); break;
    case RowKind::Activation: addactivation(row.title, row.tag, view, row.editable, value); break;
    case RowKind::PaddingChoice: addpaddingchoice(row.title, row.tag, view, row.editable, value); break;
    case RowKind::Integer: makefiltersize(row.title, row.tag, view, row.editable, value); break;
    case RowKind::Number: addepsilon(row.title, row.tag, view, row.editable, value); break;
    case RowKind::Size: makeinputsize(row.title, row.tag, view, row.editable, row.values); break;
    case RowKind::PaddingArray: addpadding(row.title, row.tag, view, row.editable, row.values); break;
    case RowKind::Inbound: addinputnode(row.title, row.tag, view, row.editable, row.values); break;
    }
    view->show();
    y += height;
}

void nodecollection::popupconfig(int item)
{
    selecteditempaths = {item};
    diag::print("select item at ", item);
    removepopconfigsubview(layerconfig);
    QLabel* title = framing::label(QStringLiteral("Layer configuration"), nullptr);
    title->setIndent(4);
    framing::placeTL(title, layerconfig, 0, 0, kPanelWidth, 20);
    int y = 20;
    if (const Json* layer = layers().layer(item)) {
        for (const layerform::Row& row : layerform::rows(*layer, customized()))
            addRow(row, y);
    }
    QPushButton* update = framing::button(QStringLiteral("Update Layer"), nullptr);
    framing::placeTL(update, layerconfig, 20, y, 150, 20);
    y += 20;
    QPushButton* remove = framing::button(QStringLiteral("Remove Layer"), nullptr);
    framing::placeTL(remove, layerconfig, 20, y, 150, 20);
    y += 20;
    connect(update, &QPushButton::clicked, this, &nodecollection::updatelayerconfig);
    connect(remove, &QPushButton::clicked, this, &nodecollection::removelayer);
    layerconfig->resize(kPanelWidth, y);
    placePanel();
    layerconfig->show();
    layerconfig->raise();
}

void nodecollection::placePanel()
{
    const QWidget* viewport = collectionView->viewport();
    const int x = kPanelX - collectionView->horizontalScrollBar()->value();
    // Half way down the editor, lifted where needed so that its buttons stay in reach.
    int y = height() / 2;
    y = std::max(0, std::min(y, viewport->height() - layerconfig->height()));
    layerconfig->move(x, y);
}

void nodecollection::removeconfig(int item)
{
    diag::print("Deselect item at", item);
    removepopconfigsubview(layerconfig);
    layerconfig->hide();
    selecteditempaths.clear();
}

void nodecollection::removepopconfigsubview(QWidget* popupconfig)
{
    // Deleted later: the pressed button that closes the panel is among them.
    for (QWidget* child : popupconfig->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        child->hide();
        child->setParent(nullptr);
        child->deleteLater();
    }
}

bool nodecollection::panelIsOpen() const { return layerconfig->isVisibleTo(collectionView->viewport()); }

void nodecollection::closePanel()
{
    removepopconfigsubview(layerconfig);
    layerconfig->hide();
    collectionView->clearSelection();
    selecteditempaths.clear();
}

QList<PanelField> nodecollection::panelFields() const
{
    QList<PanelField> fields;
    for (const QWidget* row : layerconfig->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        for (const QObject* control : row->children()) {
            const int tag = tagOf(control);
            if (tag == 0)
                continue;
            if (auto* edit = qobject_cast<const QLineEdit*>(control))
                fields << PanelField{tag, edit->text()};
            else if (auto* box = qobject_cast<const QComboBox*>(control))
                fields << PanelField{tag, box->currentText()};
            else if (auto* label = qobject_cast<const QLabel*>(control))
                fields << PanelField{tag, label->text()};
        }
    }
    return fields;
}
