#include "app/mainwindow.h"

#include "app/viewcontroller.h"

#include <QCloseEvent>
#include <QResizeEvent>

mainwindow::mainwindow(QWidget* parent)
    : QMainWindow(parent), m_prompter(this), m_runner(this)
{
    setWindowTitle(QStringLiteral("Kolvara"));
    m_controller = new ViewController(m_prompter, m_runner, this);
    setCentralWidget(m_controller);
    resize(1200, 800);
}

void mainwindow::closeEvent(QCloseEvent* event)
{
    if (m_controller->mayQuit())
        event->accept();
    else
        event->ignore();
}

void mainwindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_controller->windowDidResize();
}
