// Undo across the documents, and the session file that keeps them.
#include "app/viewcontroller.h"
#include "app/labelpane.h"
#include "app/trainpane.h"

#include "dialogs/prompter.h"
#include "data/imagesetdocument.h"
#include "data/tilegriddocument.h"
#include "data/ui/multiimagecollectionview.h"
#include "data/ui/tablemodel.h"
#include "model/architecturedocument.h"
#include "model/ui/nodecollection.h"
#include "session/sessionautosave.h"
#include "session/sessionfile.h"
#include "session/sessionsnapshot.h"
#include "util/diagnostics.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QScrollArea>
#include <QTableView>
#include <QUndoGroup>

namespace {

// What the offer names: the image, the pictures' folder, or the model alone.
QString restoreQuestion(const session::Session& saved)
{
    const QString at = saved.savedAt.toLocalTime().toString(QStringLiteral("HH:mm"));
    QString input;
    if (saved.imageSet && !saved.imageSet->pictures.isEmpty())
        input = QFileInfo(saved.imageSet->pictures.front()).dir().dirName();
    if (saved.tileGrid)
        input = QFileInfo(saved.tileGrid->image).fileName();
    if (input.isEmpty())
        return QStringLiteral("Restore the edited model from %1?").arg(at);
    return QStringLiteral("Restore the labels of %1 from %2?").arg(input, at);
}

QString changedNote(const session::InputCheck& check)
{
    if (check.changed.isEmpty())
        return QString();
    QStringList names;
    for (const QString& path : check.changed)
        names << QDir::toNativeSeparators(path);
    return QStringLiteral("Changed since then: %1").arg(names.join(QStringLiteral(", ")));
}

}  // namespace

void ViewController::buildSessionKeeping()
{
    m_undoGroup = new QUndoGroup(this);
    for (QUndoStack* stack : {m_grid->undoStack(), m_pictures->undoStack(), m_architecture->undoStack(), m_labelPane->tablemodel()->undoStack()})
        m_undoGroup->addStack(stack);
    m_autosave = new SessionAutosave(session::defaultPath(), m_grid, m_pictures, m_architecture, this);
    connect(m_autosave, &SessionAutosave::saveFailed, this, [this](const QString& why) {
        m_prompter.alert(AlertRequest{QStringLiteral("Your labels are not being saved."), why, AlertStyle::Warning, {}, nullptr});
    });
}

void ViewController::followShownPane()
{
    if (!m_undoGroup)
        return;  // still building the window
    // Undo acts on what the work area shows.
    const QWidget* shown = scrollview->isHidden() ? nullptr : scrollview->widget();
    QUndoStack* stack = nullptr;
    if (shown && shown == m_labelPane->imageview())
        stack = m_grid->undoStack();
    else if (shown && shown == m_labelPane->multiimagecollection())
        stack = m_pictures->undoStack();
    else if (shown && shown == m_labelPane->tableView())
        stack = m_labelPane->tablemodel()->undoStack();
    else if (shown && shown == m_trainPane->nodecollectionView())
        stack = m_architecture->undoStack();
    m_undoGroup->setActiveStack(stack);
}

void ViewController::offerRestore()
{
    const session::Reading reading = session::read(m_autosave->path());
    if (!reading.error.isEmpty())
        diag::print("session file not used:", reading.error);
    if (!reading.session)
        return;
    const session::Session& saved = *reading.session;
    const session::InputCheck check = session::checkInputs(saved);
    if (!check.restorable() || (!saved.tileGrid && !saved.imageSet && !saved.architecture))
        return;
    const int choice = m_prompter.alert(AlertRequest{restoreQuestion(saved), changedNote(check), AlertStyle::Informational,
                                                     {QStringLiteral("Restore"), QStringLiteral("Start Afresh")}, nullptr});
    if (choice != 0)
        return;
    // The documents are filled through the same steps as opening, so the panes follow them.
    const QString problem = session::restore(saved, m_grid, m_pictures, nullptr);
    if (!problem.isEmpty())
        m_prompter.alert(AlertRequest{QStringLiteral("Part of the session could not be restored."), problem, AlertStyle::Warning, {}, nullptr});
    if (saved.architecture) {
        if (saved.architecture->customized) {
            buildcustommodel(&saved.architecture->document);
        } else {
            modelname = QStringLiteral("usermodel");
            showModelGraph(saved.architecture->document, false);
        }
        showTrainPanels();
    }
    if (saved.tileGrid && !m_grid->image().isNull()) {
        adoptTileGridImage();
    }
    if (saved.imageSet) {
        urlarray = m_pictures->pictures();
        inputdatatype = 2;
        resetImagePanel(QStringLiteral("Label"));
        showInLabelPane(m_labelPane->multiimagecollection());
    }
    if (inputdatatype != 0)
        noteDataOpened();
    followShownPane();
}
