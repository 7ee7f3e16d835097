#include "app/mainwindow.h"

#include "app/viewcontroller.h"
#include "session/sessionautosave.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenuBar>
#include <QResizeEvent>
#include <QUndoGroup>

mainwindow::mainwindow(QWidget* parent)
    : QMainWindow(parent), m_prompter(this), m_runner(this)
{
    setWindowTitle(QStringLiteral("Kolvara"));
    m_controller = new ViewController(m_prompter, m_runner, this);
    setCentralWidget(m_controller);
    buildEditMenu();
    resize(1200, 800);
}

void mainwindow::buildEditMenu()
{
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    QAction* undo = m_controller->undoGroup()->createUndoAction(edit, QStringLiteral("Undo"));
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    QAction* redo = m_controller->undoGroup()->createRedoAction(edit, QStringLiteral("Redo"));
    redo->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    edit->addAction(undo);
    edit->addAction(redo);
}

void mainwindow::closeEvent(QCloseEvent* event)
{
    if (!m_controller->mayQuit()) {
        event->ignore();
        return;
    }
    // The last second of edits is not left waiting for a timer that will never fire.
    if (m_controller->autosave().pending())
        m_controller->autosave().saveNow();
    event->accept();
}

void mainwindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_controller->windowDidResize();
}
