#include "app/mainwindow.h"
#include "app/viewcontroller.h"

#include <QApplication>
#include <QIcon>
#include <QImageReader>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kolvara"));
    QApplication::setOrganizationName(QStringLiteral("kolvara"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kolvara"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("kolvara")));
    // Large aerial images are the point of the tile grid; let memory, not a fixed cap, decide.
    QImageReader::setAllocationLimit(0);
    mainwindow window;
    window.show();
    // Once the window is up, so that the question stands in front of it.
    QTimer::singleShot(0, window.controller(), &ViewController::offerRestore);
    return app.exec();
}
