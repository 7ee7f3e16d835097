#pragma once

#include "app/qtworkerrunner.h"
#include "app/viewcontroller.h"
#include "support/scriptedprompter.h"

#include <QMainWindow>
#include <QTemporaryDir>
#include <memory>

// A main window of the usual size holding a controller wired to a scripted prompter and a real
// worker runner, shown offscreen, and a temporary folder.
struct ControllerFixture {
    ScriptedPrompter prompter;
    QtWorkerRunner runner;
    std::unique_ptr<QMainWindow> window;
    ViewController* controller = nullptr;
    ViewController*& c = controller;
    QTemporaryDir dir;  // for the test's own files

    ControllerFixture();
    // Picks `paths` in the open panel that Open Data shows.
    void open(const QStringList& paths);
    // Writes `bytes` to `name` in the temporary folder, making its folders; returns the path.
    QString file(const QString& name, const QByteArray& bytes) const;
};

// Types the counts into the label pane and draws the grid, as the user does.
void drawGrid(ViewController& c, const QString& cols, const QString& rows);

// The image at `path` open in `c` with a drawn grid of these counts and `marks`, as labelling
// leaves it.
void openGrid(ViewController& c, const QString& path, const QImage& image, int cols, int rows,
              const std::vector<TilePoint>& marks = {});
