#include "support/fixture.h"

#include "data/tilegriddocument.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

ControllerFixture::ControllerFixture(QSize size) : window(std::make_unique<QMainWindow>())
{
    controller = new ViewController(prompter, runner, window.get());
    window->setCentralWidget(controller);
    window->resize(size);
    window->show();
    (void)QTest::qWaitForWindowExposed(window.get());
    runner.setWindow(window.get());
    controller->windowDidResize();  // as the main window does when it is first shown
}

void ControllerFixture::open(const QStringList& paths)
{
    prompter.answerPaths(paths);
    controller->Opendata();
}

void drawGrid(ViewController& c, int cols, int rows)
{
    c.labelPane().gridcol()->setText(QString::number(cols));
    c.labelPane().gridrow()->setText(QString::number(rows));
    c.labelPane().drawgridbutton()->click();
}

void openGrid(ViewController& c, const QString& path, const QImage& image, int cols, int rows, const std::vector<TilePoint>& marks)
{
    c.tileGrid().openImage(path, image);
    c.tileGrid().restoreGrid(cols, rows, true, marks, false);
    c.adoptTileGridImage();
}
