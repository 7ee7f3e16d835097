#pragma once

#include "app/qtprompter.h"
#include "app/qtworkerrunner.h"

#include <QMainWindow>

class ViewController;

// The main window: holds the controller as its central widget, its Edit menu undoes and redoes
// the edits of the pane shown, and it tells the controller about resizes.
class mainwindow : public QMainWindow {
    Q_OBJECT
public:
    explicit mainwindow(QWidget* parent = nullptr);
    ViewController* controller() const { return m_controller; }

protected:
    // A window closed during a run asks first, then ends the worker.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildEditMenu();

    QtPrompter m_prompter;
    QtWorkerRunner m_runner;
    ViewController* m_controller = nullptr;
};
