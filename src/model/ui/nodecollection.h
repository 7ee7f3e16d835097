#pragma once

#include "model/archdocument.h"
#include "model/layerform.h"

#include <QList>
#include <QWidget>
#include <optional>

class ArchitectureDocument;
class Prompter;
class QComboBox;
class QLabel;
class QLineEdit;
class nodecollectionview;
class popupview;

// The layer graph editor over the architecture document: every operation is an undoable edit of
// the document, and the column is rebuilt whenever the document announces a change (an undo
// too). Selecting a node opens the configuration panel, which floats over the column at a fixed
// height. The panel's fields are editable, and Remove Layer and drag and drop act, only for a
// custom model.
class nodecollection : public QWidget {
    Q_OBJECT
public:
    nodecollection(ArchitectureDocument& document, Prompter& prompter, QWidget* parent = nullptr);

    ArchitectureDocument& architecture() const { return m_document; }
    const ArchDocument& layers() const;
    bool customized() const;
    nodecollectionview* collectionView = nullptr;
    popupview* layerconfig = nullptr;
    QList<int> selecteditempaths;
    std::optional<QList<int>> itemsBeingDragged;

    // Shows `document` in place of the current one; `customizedModel` says whether it may be
    // edited.
    void setDocument(const Json& document, bool customizedModel);
    // Builds the column from the document; nothing when the document is empty.
    void commoninit();
    // Shows the document again after it changed.
    void reloadData();

    // Inserts a copy of `layerTemplate` before the output layer; false (after an alert) when the
    // document has no layer list to insert into.
    bool addlayer(const Json& layerTemplate);
    void removelayer();
    void updatelayerconfig();
    void performInternalDrag(QList<int> dragged, int target);
    void draggingSessionBegan(const QList<int>& items);
    void draggingSessionEnded();
    // The drop's answer is always "accepted"; whether anything moves is decided above.
    bool acceptDrop(int target);

    void popupconfig(int item);
    void removeconfig(int item);
    void removepopconfigsubview(QWidget* popupconfig);
    bool panelIsOpen() const;
    void controlTextDidEndEditing(QLineEdit* field);

    // Form builders: one row each inside `view`; value fields get `viewtag`, `viewtag` + 1, ...
    void addname(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& name);
    void addinputnode(const QString& title, int viewtag, QWidget* view, bool changeable, const QStringList& contents);
    void addtrainable(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value);
    void addactivation(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value);
    void addpaddingchoice(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value);
    void makefiltersize(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value);
    void addepsilon(const QString& title, int viewtag, QWidget* view, bool changeable, const QString& value);
    void makeinputsize(const QString& title, int viewtag, QWidget* view, bool changeable, const QStringList& values);
    void addpadding(const QString& title, int viewtag, QWidget* view, bool changeable, const QStringList& values);

    // The panel's value fields, in row order: their tags and texts.
    QList<PanelField> panelFields() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void addRow(const layerform::Row& row, int& y);
    void placePanel();
    void closePanel();
    void documentReset();
    void documentChanged();
    QComboBox* choiceBox(const QStringList& items, const QString& value, int viewtag, const QString& title);
    // A titled row holding a choice among `items`, or the value read-only when not changeable.
    void addChoiceRow(const QString& title, const QStringList& items, int viewtag, QWidget* view, bool changeable,
                      const QString& value, int height);
    QWidget* valueField(const QString& text, int viewtag, bool changeable, const QString& accessibleName);

    ArchitectureDocument& m_document;
    Prompter& m_prompter;
};
