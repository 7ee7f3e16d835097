#pragma once

#include "app/qtworkerrunner.h"
#include "app/viewcontroller.h"
#include "support/scriptedprompter.h"

#include <QMainWindow>
#include <memory>

// A main window of the usual size holding a controller wired to a scripted prompter and a real
// worker runner, shown offscreen.
struct ControllerFixture {
    ScriptedPrompter prompter;
    QtWorkerRunner runner;
    std::unique_ptr<QMainWindow> window;
    ViewController* controller = nullptr;

    explicit ControllerFixture(QSize size = QSize(1200, 800));
};

// The image at `path` open in `c` with a drawn grid of these counts and `marks`, as labelling
// leaves it.
void openGrid(ViewController& c, const QString& path, const QImage& image, int cols, int rows,
              const std::vector<TilePoint>& marks = {});
