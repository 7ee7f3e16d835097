#pragma once
// What the widget benchmarks share: the platform choice, a timer in milliseconds and the
// workbench's window as the app builds it.

#include "dialogs/prompter.h"
#include "app/qtworkerrunner.h"
#include "app/viewcontroller.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <cstdio>

namespace bench {

// Offscreen unless the caller chose a platform; call before the QApplication exists.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

inline double msSince(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

// Answers file dialogs with `path` (none when empty); an alert means the figures are suspect.
class Prompter : public ::Prompter {
public:
    QString path;
    int alert(const AlertRequest& request) override
    {
        std::printf("unexpected alert: %s\n", qPrintable(request.message));
        return 0;
    }
    QStringList choosePaths(const FileRequest&) override { return path.isEmpty() ? QStringList() : QStringList{path}; }
};

// A shown 1200 x 800 main window holding a controller.
struct Window {
    Prompter prompter;
    QMainWindow window;
    QtWorkerRunner runner{&window};
    ViewController* controller = new ViewController(prompter, runner, &window);

    Window()
    {
        window.setCentralWidget(controller);
        window.resize(1200, 800);
        window.show();
        QApplication::processEvents();
    }
};

}  // namespace bench
